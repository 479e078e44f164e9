// Straightforward quarter turn: the source is read in stored order and each
// pixel is written to its turned place.
#include "turn_kernels.h"

#include <cstring>

namespace quadturn {
namespace {

// A source row becomes a destination column. Clockwise, source row i is column
// i read from the last destination row up; counter-clockwise, it is column
// height-1-i read from the first row down.
template <int kPixelBytes>
void TurnRows(const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
              std::ptrdiff_t dst_stride, int32_t width, int32_t height,
              Direction direction) {
  if (width == 0 || height == 0) return;
  const bool right = direction == Direction::kRight;
  const std::ptrdiff_t step = right ? -dst_stride : dst_stride;
  uint8_t* first_row = right ? dst + (width - 1) * dst_stride : dst;
  for (int32_t i = 0; i < height; ++i) {
    const uint8_t* s = src + i * src_stride;
    const int32_t column = right ? i : height - 1 - i;
    uint8_t* d = first_row + column * kPixelBytes;
    for (int32_t j = 0; j < width; ++j) {
      std::memcpy(d, s, kPixelBytes);
      s += kPixelBytes;
      d += step;
    }
  }
}

}  // namespace

void TurnPixels(const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
                std::ptrdiff_t dst_stride, int32_t width, int32_t height,
                int pixel_bytes, Direction direction) {
  if (pixel_bytes == 1) {
    TurnRows<1>(src, src_stride, dst, dst_stride, width, height, direction);
  } else {
    TurnRows<3>(src, src_stride, dst, dst_stride, width, height, direction);
  }
}

}  // namespace quadturn
