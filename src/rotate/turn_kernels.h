// The turns on raw rows: bytes, strides, widths and heights in, turned rows
// out, never a block or a handle. Out of place for any image, in place for a
// square's quarter turn and for any half turn. Every row's padding is
// written: padding bits of a last byte become 0, whole padding bytes `pad`.
#ifndef QUADTURN_TURN_KERNELS_H
#define QUADTURN_TURN_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "direction.h"
#include "kernel_set.h"

namespace quadturn {

// Turns `height` stored rows of `width` pixels of `bits` each (1, 4, 8, 16,
// 24 or 32) into `width` rows of `height` pixels at dst, stride dst_stride.
// Source row i, position j goes to row width-1-j, position i (kRight) or to
// row j, position height-1-i (kLeft). Source row padding is never read.
void TurnRows(int bits, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
              std::ptrdiff_t dst_stride, int32_t width, int32_t height, Direction direction,
              uint8_t pad);

// The same quarter turn of a square image of `size` x `size` pixels inside
// its own rows.
void TurnSquareInPlace(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t size,
                       Direction direction, uint8_t pad);

// A half turn inside the image's own rows: row i, position j goes to row
// height-1-i, position width-1-j.
void TurnHalfInPlace(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t width,
                     int32_t height, uint8_t pad);

// The quarter turn of a rectangle of `h` rows of `w` pixels at src into one
// of `w` rows of `h` pixels at dst (the two must not overlap), without
// touching any padding.
void TurnRect(Format format, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
              std::ptrdiff_t dst_stride, int32_t w, int32_t h, Direction direction);

// The transpose the quarter turns are built on: destination row j, pixel i
// takes source row i, pixel j, for i < h and j < w. Strides may be
// negative. Writes the pixels' bytes; the padding bits in a row's last byte
// are left to the caller.
void Transpose(Format format, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
               std::ptrdiff_t dst_stride, int32_t w, int32_t h);

// Writes the padding of `count` rows holding `pixels` pixels of `bits` each:
// the unused low bits of a last partial byte become 0, whole bytes after it
// up to the stride `pad`.
void PadRows(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t count, int32_t pixels,
             uint8_t pad);

// Kernel selection seam for tests and the benchmark: use the given set (one
// of PortableKernels() and SimdKernelSets()), or null for the automatic
// choice (the best SIMD set, else the portable one); and the name of the set
// the last turn on this thread used.
void ChooseKernels(const KernelSet* set);
const KernelSet& ChosenKernels();
const char* LastKernelsUsed();

}  // namespace quadturn

#endif  // QUADTURN_TURN_KERNELS_H
