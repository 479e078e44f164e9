// Widening 1-bit rows to grey bytes and packing them back: raw rows only.
#ifndef QUADTURN_GREY_KERNELS_H
#define QUADTURN_GREY_KERNELS_H

#include <cstddef>
#include <cstdint>

namespace quadturn {

// Byte x of each destination row becomes 0xFF where bit x of the source row
// (most significant bit first) is set, 0x00 where it is clear. Destination
// row padding is not written.
void ExpandBitsToBytes(const uint8_t* src, std::ptrdiff_t src_stride,
                       uint8_t* dst, std::ptrdiff_t dst_stride, int32_t width,
                       int32_t height);

// Bit x of each destination row becomes set where byte x of the source row is
// not 0. Whole destination rows are written, so the padding bits are 0.
void PackBytesToBits(const uint8_t* src, std::ptrdiff_t src_stride,
                     uint8_t* dst, std::ptrdiff_t dst_stride, int32_t width,
                     int32_t height);

}  // namespace quadturn

#endif  // QUADTURN_GREY_KERNELS_H
