// The inside of the turn layer: how each orientation moves stored pixels,
// the working buffer the turns share out, and the pieces orient.cpp puts
// together (the transpose driver, the in-place permutations of squares and
// rectangles, the reversals, the padding of turned rows). Raw pointers,
// strides and sizes only.
#ifndef QUADTURN_TURN_PARTS_H
#define QUADTURN_TURN_PARTS_H

#include <cstddef>
#include <cstdint>

#include "kernel_set.h"
#include "orient.h"

namespace quadturn {

// How an orientation that swaps the axes moves stored pixels: source row i,
// pixel j goes to row j (width-1-j with reverse_out), pixel i (height-1-i
// with reverse_in). A transpose with the source's rows, or the result's,
// taken from the last one.
struct Transposition {
  bool reverse_in = false;
  bool reverse_out = false;
};

// That of kRight, kLeft, kTranspose or kTransverse over rows from the top.
inline Transposition TranspositionOf(Orientation o) {
  switch (o) {
    case Orientation::kRight: return {true, false};
    case Orientation::kLeft: return {false, true};
    case Orientation::kTransverse: return {true, true};
    default: return {false, false};
  }
}

// How an orientation that keeps the axes moves stored pixels: each row's
// pixels in reverse order (kMirror, kHalf), the rows in reverse order
// (kFlip, kHalf).
struct Reversal {
  bool pixels = false;
  bool rows = false;
};

inline Reversal ReversalOf(Orientation o) {
  return {o == Orientation::kMirror || o == Orientation::kHalf,
          o == Orientation::kFlip || o == Orientation::kHalf};
}

// Working memory handed to a turn: the turns allocate nothing, so they
// cannot fail once pixels move, and keep no more than a few KiB on the
// stack, so they run on small thread stacks. The tiles they stage and save,
// and the bands and strips of an in-place turn, go here.
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

// Asks for the cache lines of `bytes` bytes at p ahead of their use, to
// read them or to write them: where the drivers jump, the processor does
// not follow by itself.
inline void PrefetchToRead(const uint8_t* p, std::ptrdiff_t bytes) {
  for (std::ptrdiff_t k = 0; k < bytes; k += 64) __builtin_prefetch(p + k, 0);
}
inline void PrefetchToWrite(uint8_t* p, std::ptrdiff_t bytes) {
  for (std::ptrdiff_t k = 0; k < bytes; k += 64) __builtin_prefetch(p + k, 1);
}

// Where a transpose's result goes. Into the caches, as usual: an in-place
// turn reads it back soon, and the lines it overwrites are ones it has just
// read. Or past them: a whole image out of place, larger than the caches
// keep, goes out to memory anyway, and each line would otherwise be read in
// only to be overwritten.
enum class Output { kCached, kStreamed };

// The transpose every turn is built on: destination row j, pixel i takes
// source row i, pixel j, for i < h and j < w. Strides may be negative.
// Writes the pixels' bytes; the padding bits in a row's last byte are left
// to the caller. The buffer stages whole tiles (TransposeBufferBytes); the
// staged tiles' rows go out as `output` says, where the set can stream.
void Transpose(Format format, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
               std::ptrdiff_t dst_stride, int32_t w, int32_t h, TurnBuffer buffer,
               Output output = Output::kCached);
std::size_t TransposeBufferBytes(int bits, int32_t width, int32_t height);

// The transposition `t` of a rectangle of `h` rows of `w` pixels at src into
// one of `w` rows of `h` pixels at dst (the two must not overlap), without
// touching any padding.
void TurnRect(Format format, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
              std::ptrdiff_t dst_stride, int32_t w, int32_t h, Transposition t,
              TurnBuffer buffer, Output output = Output::kCached);

// The transposition `t` of a square of `size` x `size` pixels inside its own
// rows, and the buffer it needs (square_in_place.cpp).
std::size_t SquareInPlaceBufferBytes(int bits, int32_t size, Transposition t);
void TurnSquareInPlace(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t size,
                       Transposition t, uint8_t pad, TurnBuffer buffer);

// The transposition `t` of any other rectangle inside its own rows: `height`
// rows, src_stride apart, become `width` rows, dst_stride apart, from the
// same address; a few rows and columns of buffer, not a second image
// (rectangle_in_place.cpp).
std::size_t RectangleInPlaceBufferBytes(int bits, int32_t width, int32_t height);
void TurnRectangleInPlace(int bits, uint8_t* rows, std::ptrdiff_t src_stride,
                          std::ptrdiff_t dst_stride, int32_t width, int32_t height,
                          Transposition t, uint8_t pad, TurnBuffer buffer);

// Either of the two above, by the shape (orient.cpp); a square whose turned
// rows take another stride moves them there after.
std::size_t TurnInPlaceBufferBytes(int bits, int32_t width, int32_t height, Transposition t);
void TurnInPlace(int bits, uint8_t* rows, std::ptrdiff_t src_stride, std::ptrdiff_t dst_stride,
                 int32_t width, int32_t height, Transposition t, uint8_t pad, TurnBuffer buffer);

// The orientations that keep the shape, inside the image's own rows: each
// row's pixels reversed (a mirror), the rows' order reversed (a flip), or
// both (a half turn). Needs no working memory.
void ReverseInPlace(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t width,
                    int32_t height, Reversal r, uint8_t pad);

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

}  // namespace quadturn

#endif  // QUADTURN_TURN_PARTS_H
