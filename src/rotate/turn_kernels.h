// Pixel kernels of the quarter turn: raw rows in, turned rows out. They never
// see a block or a handle.
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
// The destination holds `width` rows of `height` pixels. Neither the source
// nor the destination row padding is touched.
void TurnPixels(const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
                std::ptrdiff_t dst_stride, int32_t width, int32_t height,
                int pixel_bytes, Direction direction);

}  // namespace quadturn

#endif  // QUADTURN_TURN_KERNELS_H
