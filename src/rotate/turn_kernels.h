// Pixel kernels of the quarter turn: raw rows in, turned rows out, never a
// block or a handle. One entry per depth; the transposes behind them come in
// a portable scalar form and in SIMD forms, chosen in one place.
#ifndef QUADTURN_TURN_KERNELS_H
#define QUADTURN_TURN_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "rotate.h"

namespace quadturn {

// Turns `height` stored rows of `width` pixels of `pixel_bytes` bytes each
// (1 or 3). Source row i, position j goes to
//   kRight: destination row width-1-j, position i   (clockwise, bottom-up)
//   kLeft:  destination row j, position height-1-i  (counter-clockwise)
// The destination holds `width` rows of `height` pixels, stride `dst_stride`.
// Every destination byte is written: row padding becomes 0xFF at 1 byte per
// pixel and 0 at 3. Source row padding is never read.
void TurnPixels(const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
                std::ptrdiff_t dst_stride, int32_t width, int32_t height,
                int pixel_bytes, Direction direction);

// The same turn for 1-bit rows (pixel x is bit 0x80 >> x%8 of byte x/8).
// Every destination byte is written; padding bits are 0.
void TurnBits(const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
              std::ptrdiff_t dst_stride, int32_t width, int32_t height,
              Direction direction);

// The transposes the turns are built on: destination row j, pixel i takes
// source row i, pixel j, for i < h and j < w. Strides may be negative. Only
// pixel bytes are written (for bits, whole bytes up to bit h-1).
using TransposeFn = void (*)(const uint8_t* src, std::ptrdiff_t src_stride,
                             uint8_t* dst, std::ptrdiff_t dst_stride, int w,
                             int h);

struct TransposeSet {
  const char* name;
  TransposeFn bytes;    // 1 byte per pixel
  TransposeFn triples;  // 3 bytes per pixel
  TransposeFn bits;     // 1 bit per pixel
};

// The portable set, always there.
const TransposeSet& ScalarTransposes();

// The SIMD set for this processor, or null when the build or the processor
// has none.
const TransposeSet* SimdTransposes();

// Kernel selection seam for tests: force the scalar or the SIMD set (false
// when there is none), or go back to the automatic choice; and the name of
// the set the last turn on this thread used.
enum class KernelChoice { kAutomatic, kScalar, kSimd };
bool ChooseKernels(KernelChoice choice);
const char* LastKernelsUsed();

}  // namespace quadturn

#endif  // QUADTURN_TURN_KERNELS_H
