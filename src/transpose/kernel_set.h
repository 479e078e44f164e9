// What an instruction set contributes to the turns: small block transposes
// and block reversals per pixel format, nothing else. The drivers
// (transpose_driver.cpp, reverse_driver.cpp) walk tiles, rows and edges and
// fall back to smaller blocks and single pixels, so edge handling lives in
// one place. The x86 sets are declared in kernels_x86.h.
#ifndef QUADTURN_KERNEL_SET_H
#define QUADTURN_KERNEL_SET_H

#include <cstddef>
#include <cstdint>

namespace quadturn {

// A pixel format: 1, 2 or 4 bits (most significant first within a byte) or
// 1 to 32 whole bytes, and its place in a kernel set's lists. The formats
// with kernels of their own come first (1 and 4 bits, 1, 2, 3, 4, 6 and 8
// bytes), then 2 bits and the other byte sizes, which the portable set
// alone serves. A set's lists may stop early: the rest are empty.
struct Format {
  int bits = 8;
  int index = 2;
};
constexpr int kFormatCount = 35;
constexpr int kMaxPixelBytes = 32;

// The list index of pixels of `bits` each (a pixel size).
constexpr int FormatIndex(int bits) {
  switch (bits) {
    case 1: return 0;
    case 4: return 1;
    case 8: return 2;
    case 16: return 3;
    case 24: return 4;
    case 32: return 5;
    case 48: return 6;
    case 64: return 7;
    case 2: return 8;
    default: break;
  }
  // 5 and 7 bytes, then 9 to 32.
  const int n = bits / 8;
  return n == 5 ? 9 : n == 7 ? 10 : 11 + (n - 9);
}

// The whole bytes of a pixel at list index `index`, 0 for 1, 2 and 4 bits.
constexpr int PixelBytesAt(int index) {
  constexpr int kLeading[] = {0, 0, 1, 2, 3, 4, 6, 8, 0, 5, 7};
  return index < 11 ? kLeading[index] : index - 11 + 9;
}

inline Format FormatOf(int bits) { return Format{bits, FormatIndex(bits)}; }
inline int BitsOf(Format f) { return f.bits; }

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

// What the blocks leave of a row's reversal, in one call: the pixels of the
// `bytes` bytes at p in reverse order go to q and those at q to p, for any
// whole number of pixels up to the kernel's `most` bytes. p and q are the
// same place (the middle of one row) or do not overlap. Bytes outside the
// two runs are neither read nor written.
using SwapReversedRestFn = void (*)(uint8_t* p, uint8_t* q, std::ptrdiff_t bytes);

struct ReverseRest {
  SwapReversedRestFn fn = nullptr;
  int most = 0;
};

// Swaps the `bytes` bytes at p with those at q, two runs that do not
// overlap (or the same run, which stays as it is): a flip's rows trading
// places, a whole row in one call, or two pixels.
using SwapRunsFn = void (*)(uint8_t* p, uint8_t* q, std::ptrdiff_t bytes);

// Copies `rows` rows of `bytes` bytes from `from` to `to`: the whole cache
// lines of each destination row past the caches (streaming stores), the
// pieces of lines at either end as usual. Every store is done, in order
// with those after the call, when it returns.
using StreamRowsFn = void (*)(uint8_t* to, std::ptrdiff_t to_stride, const uint8_t* from,
                              std::ptrdiff_t from_stride, std::ptrdiff_t bytes, int rows);

struct KernelSet {
  const char* name;
  // Per format, from the largest block down; an empty kernel ends the list,
  // and a null list has none. The driver follows them with the portable
  // set's blocks, then pixels.
  const BlockKernel* blocks[kFormatCount];
  // Per format, from the largest block down, as the blocks.
  const ReverseKernel* reverse[kFormatCount];
  // Whether whole tiles go through a contiguous buffer first: with
  // power-of-two strides the rows of a tile share cache sets, and a small
  // block then evicts each line before its other pieces are used.
  bool stage[kFormatCount];
  // Per format, a kernel for the rest of a row once the largest blocks
  // are done, where the set has one (the drivers fall back on the smaller
  // blocks and pixels otherwise).
  ReverseRest reverse_rest[kFormatCount] = {};
  // Rows trading places; null takes the portable set's.
  SwapRunsFn swap_runs = nullptr;
  // Staged tiles' rows out to a destination that skips the caches; null
  // copies them the usual way.
  StreamRowsFn stream_rows = nullptr;
};

// The portable set, always there.
const KernelSet& PortableKernels();

// The SIMD sets this build and this processor have, best first, ending with
// a null pointer.
const KernelSet* const* SimdKernelSets();

}  // namespace quadturn

#endif  // QUADTURN_KERNEL_SET_H
