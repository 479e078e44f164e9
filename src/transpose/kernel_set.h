// What an instruction set contributes to the turns: small block transposes
// and block reversals per pixel format, nothing else. The drivers
// (transpose_driver.cpp, reverse_driver.cpp) walk tiles, rows and edges and
// fall back to smaller blocks and single pixels, so edge handling lives in
// one place.
#ifndef QUADTURN_KERNEL_SET_H
#define QUADTURN_KERNEL_SET_H

#include <cstddef>
#include <cstdint>

namespace quadturn {

// Pixel formats by their size: 1 and 4 bits (most significant first within a
// byte), and whole bytes.
enum class Format { kBits1, kBits4, kBytes1, kBytes2, kBytes3, kBytes4 };
constexpr int kFormatCount = 6;

// The format of `bits` per pixel (1, 4, 8, 16, 24 or 32), and back.
inline Format FormatOf(int bits) {
  switch (bits) {
    case 1: return Format::kBits1;
    case 4: return Format::kBits4;
    case 8: return Format::kBytes1;
    case 16: return Format::kBytes2;
    case 24: return Format::kBytes3;
    default: return Format::kBytes4;
  }
}
inline int BitsOf(Format f) {
  constexpr int kBits[kFormatCount] = {1, 4, 8, 16, 24, 32};
  return kBits[static_cast<int>(f)];
}

// Bytes taken by `pixels` pixels of format f, a whole number of bytes.
inline std::ptrdiff_t Span(Format f, int64_t pixels) {
  return static_cast<std::ptrdiff_t>(pixels * BitsOf(f) / 8);
}

// Bytes of a row of `pixels` pixels of format f, a partial last byte
// included.
inline std::ptrdiff_t RowBytes(Format f, int64_t pixels) {
  return static_cast<std::ptrdiff_t>((pixels * BitsOf(f) + 7) / 8);
}

// Transposes one block: destination row j, pixel i takes source row i,
// pixel j, for i < height and j < width of the kernel. Strides may be
// negative. Writes whole destination bytes (a block's pixels fill them).
using BlockFn = void (*)(const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
                         std::ptrdiff_t dst_stride);

struct BlockKernel {
  BlockFn fn = nullptr;
  int width = 0;   // source pixels per row of the block
  int height = 0;  // source rows of the block
};

// Reverses two blocks of `bytes` bytes that do not overlap: the pixels of
// the block at p in reverse order go to q, and those at q to p. Pixels of 1
// and 4 bits are reversed within their bytes too (bytes hold whole pixels).
using SwapReversedFn = void (*)(uint8_t* p, uint8_t* q);

struct ReverseKernel {
  SwapReversedFn fn = nullptr;
  int bytes = 0;
};

struct KernelSet {
  const char* name;
  // Per format, from the largest block down; an empty kernel ends the list.
  // The driver follows them with the portable set's blocks, then pixels.
  const BlockKernel* blocks[kFormatCount];
  // Per format, from the largest block down; an empty kernel ends the list.
  // The driver follows them with the portable set's, then pixels.
  const ReverseKernel* reverse[kFormatCount];
  // Whether whole tiles go through a contiguous buffer first: with
  // power-of-two strides the rows of a tile share cache sets, and a small
  // block then evicts each line before its other pieces are used.
  bool stage[kFormatCount];
};

// The portable set, always there.
const KernelSet& PortableKernels();

// The SIMD sets this build and this processor have, best first, ending with
// a null pointer.
const KernelSet* const* SimdKernelSets();

// x86 builds: the SSE2 set, the same with SSSE3 for 24-bit pixels and
// byte shuffles, and AVX2 beside them; 64-bit builds also the AVX-512 sets
// (F, BW and VL; and with VBMI and GFNI), null elsewhere.
extern const KernelSet kSse2Kernels;
extern const KernelSet kSsse3Kernels;
extern const KernelSet kAvx2Kernels;
const KernelSet* Avx512Kernels();
const KernelSet* Avx512GfniKernels();

}  // namespace quadturn

#endif  // QUADTURN_KERNEL_SET_H
