// Checked geometry of a packed DIB: all arithmetic in 64 bits, every result
// refused unless it fits a signed 32-bit value, before any pixel is touched.
#include "dib_layout.h"

namespace quadturn {
namespace {

constexpr int64_t kMaxSize = INT32_MAX;

bool Fits(int64_t v) { return v >= 0 && v <= kMaxSize; }

bool Narrow(int64_t v, int32_t* out) {
  if (!Fits(v)) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

// a * b, refused past INT32_MAX. Both factors are at most INT32_MAX, so the
// 64-bit product cannot overflow.
bool CheckedProduct(int64_t a, int64_t b, int32_t* out) {
  return Fits(a) && Fits(b) && Narrow(a * b, out);
}

}  // namespace

bool ReadTurnGeometry(const uint8_t* header, uint64_t block_size,
                      TurnGeometry* g) {
  const int bits = ReadU16(header + kBiBitCount);
  if (bits != 1 && bits != 8 && bits != 24) return false;

  const uint32_t header_bytes = ReadU32(header + kBiSize);
  const int32_t width = ReadI32(header + kBiWidth);
  const int32_t height = ReadI32(header + kBiHeight);
  const uint32_t clr_used = ReadU32(header + kBiClrUsed);
  if (header_bytes < static_cast<uint32_t>(kInfoHeaderBytes)) return false;
  if (width < 0 || height < 0) return false;
  if (ReadU32(header + kBiCompression) != 0) return false;
  if (bits == 1 && (header_bytes != static_cast<uint32_t>(kInfoHeaderBytes) ||
                    clr_used == 1)) {
    return false;
  }

  const int64_t table = ColourTableBytes(bits, clr_used);
  const int64_t offset = static_cast<int64_t>(header_bytes) + table;
  if (!Fits(offset)) return false;

  TurnGeometry r{};
  r.bits_per_pixel = bits;
  r.width = width;
  r.height = height;
  r.pixel_offset = static_cast<int32_t>(offset);
  int32_t src_bytes = 0;
  if (!Narrow(RowStride(width, bits), &r.src_stride) ||
      !Narrow(RowStride(height, bits), &r.dst_stride) ||
      !CheckedProduct(r.src_stride, height, &src_bytes) ||
      !CheckedProduct(r.dst_stride, width, &r.dst_bytes)) {
    return false;
  }
  const int64_t image_bytes = offset + src_bytes;
  const int64_t turned_bytes = offset + r.dst_bytes;
  if (!Fits(image_bytes) || !Fits(turned_bytes)) return false;
  if (block_size < static_cast<uint64_t>(image_bytes)) return false;
  r.turned_block_bytes = static_cast<int32_t>(turned_bytes);

  *g = r;
  return true;
}

}  // namespace quadturn
