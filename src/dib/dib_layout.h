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

// The colour tables RotateRight90 and RotateLeft90 assume: two entries at
// 1 bit, 256 at 8 bits unless biClrUsed says otherwise.
constexpr int32_t kOneBitTableBytes = 8;
constexpr int32_t kGreyTableBytes = 1024;

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

// Colour-table bytes as RotateRight90 and RotateLeft90 take them: two entries
// at 1 bit whatever biClrUsed says, biClrUsed entries at 8 bits (256 when it
// is 0), and biClrUsed entries at 24 bits (none when it is 0).
inline int64_t ColourTableBytes(int bits_per_pixel, uint32_t clr_used) {
  if (bits_per_pixel == 1) return kOneBitTableBytes;
  if (bits_per_pixel == 8 && clr_used == 0) return kGreyTableBytes;
  return 4 * static_cast<int64_t>(clr_used);
}

// Compression values.
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;
// The colour masks behind a 40-byte header: three for BI_BITFIELDS, four
// (with alpha) for BI_ALPHABITFIELDS.
constexpr int32_t kBitfieldMaskBytes = 12;
constexpr int32_t kAlphaBitfieldMaskBytes = 16;

// Fields of the larger headers (BITMAPV5HEADER) the general reader uses.
constexpr int kBV5CsType = 56;
constexpr int kBV5ProfileData = 112;
constexpr int kBV5ProfileSize = 116;
constexpr uint32_t kV5HeaderBytes = 124;
constexpr uint32_t kProfileLinked = 0x4C494E4B;    // 'LINK'
constexpr uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'

// Everything a turn needs to know about an image, every size checked to fit
// a signed 32-bit value and the block checked to hold the whole image. Both
// readers below fill it.
struct ImageLayout {
  int bits_per_pixel;      // 1, 4, 8, 16, 24 or 32
  int32_t width;           // W, pixels per stored row
  int32_t height;          // H, stored rows (biHeight's magnitude)
  bool top_down;           // biHeight negative: stored row 0 is the top one
  int32_t pixel_offset;    // where the rows begin: header, masks, table
  int32_t src_stride;      // S, bytes per stored row
  int32_t image_end;       // where the rows end: pixel_offset + S * H
  int32_t dst_stride;      // D, bytes per turned row (a row of H pixels)
  int32_t dst_bytes;       // N = D * W, the turned rows
  // A colour profile the header places behind the rows (from the header's
  // start), which a quarter turn carries along behind the turned rows at
  // the same distance, with the bytes between; 0 and 0 when there is none.
  int32_t profile_offset;
  int32_t profile_bytes;
  int32_t turned_profile_offset;
  int32_t turned_block_bytes;  // the block once quarter-turned
};

// The reader of RotateRight90 and RotateLeft90: a 1-, 8- or 24-bit
// uncompressed bottom-up image with the table of ColourTableBytes, at 1 bit
// a 40-byte header and a two-entry table (rows at 48). `header` is the start
// of a block of `block_size` bytes. False for an image to be left untouched:
// a block shorter than a header, another bit count, biSize below 40, a
// negative width or height, compression, a block shorter than the image, any
// size past INT32_MAX, and at 1 bit a header that is not 40 bytes or a
// one-entry table.
bool ReadStrictLayout(const uint8_t* header, uint64_t block_size, ImageLayout* layout);

// The reader of RotateQuarterTurns: every uncompressed DIB.
enum class LayoutCheck {
  kOk,
  kInvalidData,   // header or block inconsistent: too short, negative width, too large
  kNotSupported,  // compressed or otherwise not turnable
};

// 1, 4, 8, 16, 24 or 32 bits per pixel, BI_RGB, and BI_BITFIELDS and
// BI_ALPHABITFIELDS at 16 and 32 bits (their masks behind a 40-byte header,
// or inside a larger one); bottom-up and top-down; any
// biSize of 40 and more; the colour table biClrUsed entries long, or 2^bits
// when that is 0 at 1, 4 and 8 bits; a V5 header's linked or embedded
// profile when it lies behind the rows. `block` holds `block_size` bytes.
LayoutCheck ReadGeneralLayout(const uint8_t* block, uint64_t block_size, ImageLayout* layout);

}  // namespace quadturn

#endif  // QUADTURN_DIB_LAYOUT_H
