// Sizes of the packed DIBs the tool hands the library: row strides, and
// whether an image fits the library's limit before and after a turn.
#ifndef QUADTURN_TOOLS_DIB_SIZES_H
#define QUADTURN_TOOLS_DIB_SIZES_H

#include <algorithm>
#include <cstdint>

namespace quadturn::tool {

// A block the library turns holds less than 2^31 bytes.
constexpr uint64_t kMaxDibBytes = 0x7FFFFFFF;

// Bytes of a stored row of `width` pixels of `bits` each, padded to 4.
inline uint64_t DibStride(uint64_t width, int bits) { return (width * bits + 31) / 32 * 4; }

// Whether an image whose rows begin `head` bytes in fits the limit both as
// it is and turned a quarter turn.
inline bool DibFits(uint64_t head, uint64_t width, uint64_t height, int bits) {
  return head + std::max(DibStride(width, bits) * height, DibStride(height, bits) * width) <=
         kMaxDibBytes;
}

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_DIB_SIZES_H
