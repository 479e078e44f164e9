// The turns, flips and transposes on raw rows: bytes, strides, widths and
// heights in, rows out, never a block or a handle. Out of place, and inside
// the image's own rows for any of them. Every row's padding is written:
// padding bits of a last byte become 0, whole padding bytes `pad`.
#ifndef QUADTURN_TURNS_H
#define QUADTURN_TURNS_H

#include <cstddef>
#include <cstdint>

#include "kernel_set.h"
#include "orientation.h"

namespace quadturn {

// Working memory for a turn, handed in by the caller: the turns allocate
// nothing, so they cannot fail once pixels move, and keep no more than a few
// KiB on the stack, so they run on small thread stacks. The tiles they stage
// and save, and the bands and strips of an in-place turn, go here.
struct TurnBuffer {
  uint8_t* bytes = nullptr;
  std::size_t size = 0;
};
// Tiles go fastest through buffers on cache lines of their own; the kernels
// themselves need no alignment.
constexpr std::size_t kTurnBufferAlign = 64;

// `n` rounded up to a whole number of cache lines: the parts a turn keeps in
// its buffer each start on one of their own.
inline std::size_t TurnBufferRoundUp(std::size_t n) {
  return (n + kTurnBufferAlign - 1) / kTurnBufferAlign * kTurnBufferAlign;
}

// The memory to set aside for a buffer of `size` bytes that TurnBufferAt
// will align inside it (0 for none).
inline std::size_t TurnBufferRoom(std::size_t size) {
  return size > 0 ? size + kTurnBufferAlign : 0;
}

// A buffer of `size` bytes at the first aligned address from `at` on, inside
// TurnBufferRoom(size) bytes from `at`.
inline TurnBuffer TurnBufferAt(uint8_t* at, std::size_t size) {
  if (size == 0) return TurnBuffer{};
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(at);
  const std::size_t skip = (kTurnBufferAlign - address % kTurnBufferAlign) % kTurnBufferAlign;
  return TurnBuffer{at + skip, size};
}

// Any of the eight orientations `o` of `height` stored rows of `width`
// pixels of `bits` each (any pixel size), over the rows as stored: out of
// place into rows at dst (the two must not overlap), writing only the
// result's pixels (the bits and bytes behind each row's pixels are left as
// they are, the source's never read); or inside the image's own rows,
// which must hold the larger of the two images, every row's padding
// written. The buffers must hold the bytes asked for.
std::size_t OrientRowsBufferBytes(int bits, int32_t width, int32_t height, Orientation o);
void OrientRows(int bits, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
                std::ptrdiff_t dst_stride, int32_t width, int32_t height, Orientation o,
                TurnBuffer buffer);
std::size_t OrientInPlaceBufferBytes(int bits, int32_t width, int32_t height, Orientation o);
void OrientInPlace(int bits, uint8_t* rows, std::ptrdiff_t src_stride, std::ptrdiff_t dst_stride,
                   int32_t width, int32_t height, Orientation o, uint8_t pad, TurnBuffer buffer);

// The bytes of working memory TurnRows, TurnInPlace and TurnSquareInPlace
// need for these images (0: none); their buffer must hold at least that many.
std::size_t TurnRowsBufferBytes(int bits, int32_t width, int32_t height);
std::size_t TurnInPlaceBufferBytes(int bits, int32_t width, int32_t height, Transposition t);
std::size_t TurnSquareBufferBytes(int bits, int32_t size, Transposition t);

// Moves `height` stored rows of `width` pixels of `bits` each (any pixel
// size) to `width` rows of `height` pixels at dst, stride dst_stride, as
// `t` says (a quarter turn either way, a transpose or a transverse). Source
// row padding is never read.
void TurnRows(int bits, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
              std::ptrdiff_t dst_stride, int32_t width, int32_t height, Transposition t,
              uint8_t pad, TurnBuffer buffer);

// The same inside the image's own rows: the `height` rows at `rows`, stride
// src_stride, become `width` rows of `height` pixels from the same address,
// stride dst_stride. The rows' memory must hold the larger of the two
// images. Needs a buffer of a few rows and columns, not a second image.
void TurnInPlace(int bits, uint8_t* rows, std::ptrdiff_t src_stride, std::ptrdiff_t dst_stride,
                 int32_t width, int32_t height, Transposition t, uint8_t pad, TurnBuffer buffer);

// The same of a square image of `size` x `size` pixels inside its own rows.
void TurnSquareInPlace(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t size,
                       Transposition t, uint8_t pad, TurnBuffer buffer);

// The orientations that keep the shape, inside the image's own rows: each
// row's pixels reversed (a mirror), the rows' order reversed (a flip), or
// both (a half turn). Needs no working memory.
void ReverseInPlace(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t width,
                    int32_t height, Reversal r, uint8_t pad);

// The transposition of a rectangle of `h` rows of `w` pixels at src into one
// of `w` rows of `h` pixels at dst (the two must not overlap), without
// touching any padding.
void TurnRect(Format format, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
              std::ptrdiff_t dst_stride, int32_t w, int32_t h, Transposition t,
              TurnBuffer buffer);

// The transpose the quarter turns are built on: destination row j, pixel i
// takes source row i, pixel j, for i < h and j < w. Strides may be
// negative. Writes the pixels' bytes; the padding bits in a row's last byte
// are left to the caller.
void Transpose(Format format, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
               std::ptrdiff_t dst_stride, int32_t w, int32_t h, TurnBuffer buffer);

// The same out of place: the rows' pixels (only) from src, reversed as `r`
// says, to dst; the bits and bytes behind each row's pixels in dst are
// left as they are.
void ReverseRows(int bits, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
                 std::ptrdiff_t dst_stride, int32_t width, int32_t height, Reversal r);

// Reverses the order of `count` rows of `stride` bytes, in place.
void ReverseRowOrder(uint8_t* rows, std::ptrdiff_t stride, int32_t count);

// Writes the padding of `count` rows holding `pixels` pixels of `bits` each:
// the unused low bits of a last partial byte become 0, whole bytes after it
// up to the stride `pad`.
void PadRows(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t count, int32_t pixels,
             uint8_t pad);

// The kernel set the turns use: the best SIMD set this processor runs, else
// the portable one. Tests and the benchmark force a set (one of
// PortableKernels() and SimdKernelSets()) with ChooseKernels, and go back to
// the automatic choice with null.
void ChooseKernels(const KernelSet* set);
const KernelSet& ChosenKernels();

}  // namespace quadturn

#endif  // QUADTURN_TURNS_H
