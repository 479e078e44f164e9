// Bit-by-bit widening and packing between 1-bit rows and grey bytes.
#include "grey_kernels.h"

#include <cstring>

namespace quadturn {

void ExpandBitsToBytes(const uint8_t* src, std::ptrdiff_t src_stride,
                       uint8_t* dst, std::ptrdiff_t dst_stride, int32_t width,
                       int32_t height) {
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* s = src + r * src_stride;
    uint8_t* d = dst + r * dst_stride;
    for (int32_t x = 0; x < width; ++x) {
      d[x] = (s[x / 8] & (0x80 >> (x % 8))) ? 0xFF : 0x00;
    }
  }
}

void PackBytesToBits(const uint8_t* src, std::ptrdiff_t src_stride,
                     uint8_t* dst, std::ptrdiff_t dst_stride, int32_t width,
                     int32_t height) {
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* s = src + r * src_stride;
    uint8_t* d = dst + r * dst_stride;
    std::memset(d, 0, static_cast<std::size_t>(dst_stride));
    for (int32_t x = 0; x < width; ++x) {
      if (s[x] != 0) d[x / 8] = static_cast<uint8_t>(d[x / 8] | (0x80 >> (x % 8)));
    }
  }
}

}  // namespace quadturn
