// Packed DIB layout: header fields at their fixed little-endian offsets, row
// strides, colour-table lengths, and the checked size arithmetic of a turn.
#ifndef QUADTURN_DIB_LAYOUT_H
#define QUADTURN_DIB_LAYOUT_H

#include <cstddef>
#include <cstdint>

namespace quadturn {

constexpr int32_t kInfoHeaderBytes = 40;

// Byte offsets of the BITMAPINFOHEADER fields.
enum HeaderField : int {
  kBiSize = 0,
  kBiWidth = 4,
  kBiHeight = 8,
  kBiPlanes = 12,
  kBiBitCount = 14,
  kBiCompression = 16,
  kBiSizeImage = 20,
  kBiXPelsPerMeter = 24,
  kBiYPelsPerMeter = 28,
  kBiClrUsed = 32,
  kBiClrImportant = 36,
};

// The one-bit road's fixed places: a 40-byte header and a two-entry table
// put the rows at 48; a grey 8-bit image's 256 entries put them at 1064.
constexpr int32_t kOneBitTableBytes = 8;
constexpr int32_t kOneBitPixelOffset = kInfoHeaderBytes + kOneBitTableBytes;
constexpr int32_t kGreyTableBytes = 1024;
constexpr int32_t kGreyPixelOffset = kInfoHeaderBytes + kGreyTableBytes;

inline uint16_t ReadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t ReadI32(const uint8_t* p) {
  return static_cast<int32_t>(ReadU32(p));
}
inline void WriteU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void WriteI32(uint8_t* p, int32_t v) {
  WriteU32(p, static_cast<uint32_t>(v));
}

// Bytes of a stored row of `width` pixels, padded to whole 4-byte units:
// ((W+31)/32)*4 at 1 bit, ((W+3)/4)*4 at 8, ((3W+3)/4)*4 at 24. In 64 bits so
// that any 32-bit width is exact; callers check the result fits.
inline int64_t RowStride(int64_t width, int bits_per_pixel) {
  return (width * bits_per_pixel + 31) / 32 * 4;
}

// Colour-table bytes as the turn takes them: two entries at 1 bit whatever
// biClrUsed says, biClrUsed entries at 8 bits (256 when it is 0), and
// biClrUsed entries at 24 bits (none when it is 0).
inline int64_t ColourTableBytes(int bits_per_pixel, uint32_t clr_used) {
  if (bits_per_pixel == 1) return kOneBitTableBytes;
  if (bits_per_pixel == 8 && clr_used == 0) return kGreyTableBytes;
  return 4 * static_cast<int64_t>(clr_used);
}

// Everything a turn needs to know about an image, every size checked to fit
// a signed 32-bit value and the block checked to hold the whole image.
struct TurnGeometry {
  int bits_per_pixel;   // 1, 8 or 24
  int32_t width;        // W, pixels per source row
  int32_t height;       // H, source rows
  int32_t pixel_offset;  // where the source rows begin
  int32_t src_stride;   // S, bytes per source row
  int32_t dst_stride;   // D, bytes per turned row (a row of H pixels)
  int32_t dst_bytes;    // N = D * W, the turned rows
  int32_t turned_block_bytes;  // the block's size once turned
};

// Reads the header at the start of a block of `block_size` bytes (which the
// caller has checked holds at least kInfoHeaderBytes) and fills `g`. Returns
// false for an image that is to be left untouched: a bit count other than 1, 8
// or 24; biSize below 40; a negative width or height; compression; a block
// shorter than the image; any size past INT32_MAX; and at 1 bit a header that
// is not 40 bytes or a one-entry table, since that road reads rows at 48.
bool ReadTurnGeometry(const uint8_t* header, uint64_t block_size,
                      TurnGeometry* g);

}  // namespace quadturn

#endif  // QUADTURN_DIB_LAYOUT_H
