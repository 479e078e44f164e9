// Checked layout of a packed DIB: all arithmetic in 64 bits, every result
// refused unless it fits a signed 32-bit value, before any pixel is touched.
// Two readers share it: the strict one of RotateRight90 and RotateLeft90 and
// the general one of RotateQuarterTurns.
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

// Strides and sizes of an image of `bits` per pixel, `width` x `height`,
// its rows at `offset`, and of its quarter turn; false when any of them
// passes INT32_MAX or the block is shorter than the image.
bool SizeImage(int bits, int32_t width, int32_t height, int64_t offset, uint64_t block_size,
               ImageLayout* r) {
  if (!Narrow(offset, &r->pixel_offset)) return false;
  r->bits_per_pixel = bits;
  r->width = width;
  r->height = height;
  int32_t src_bytes = 0;
  if (!Narrow(RowStride(width, bits), &r->src_stride) ||
      !Narrow(RowStride(height, bits), &r->dst_stride) ||
      !CheckedProduct(r->src_stride, height, &src_bytes) ||
      !CheckedProduct(r->dst_stride, width, &r->dst_bytes) ||
      !Narrow(offset + src_bytes, &r->image_end) ||
      !Narrow(offset + r->dst_bytes, &r->turned_block_bytes)) {
    return false;
  }
  r->profile_offset = r->profile_bytes = r->turned_profile_offset = 0;
  return block_size >= static_cast<uint64_t>(r->image_end);
}

}  // namespace

bool ReadStrictLayout(const uint8_t* header, uint64_t block_size, ImageLayout* layout) {
  if (block_size < static_cast<uint64_t>(kInfoHeaderBytes)) return false;
  const int bits = ReadU16(header + kBiBitCount);
  if (bits != 1 && bits != 8 && bits != 24) return false;

  const uint32_t header_bytes = ReadU32(header + kBiSize);
  const int32_t width = ReadI32(header + kBiWidth);
  const int32_t height = ReadI32(header + kBiHeight);
  const uint32_t clr_used = ReadU32(header + kBiClrUsed);
  if (header_bytes < static_cast<uint32_t>(kInfoHeaderBytes)) return false;
  if (width < 0 || height < 0) return false;
  if (ReadU32(header + kBiCompression) != kBiRgb) return false;
  if (bits == 1 && (header_bytes != static_cast<uint32_t>(kInfoHeaderBytes) || clr_used == 1)) {
    return false;
  }
  ImageLayout r{};
  const int64_t offset = static_cast<int64_t>(header_bytes) + ColourTableBytes(bits, clr_used);
  if (!SizeImage(bits, width, height, offset, block_size, &r)) return false;
  *layout = r;
  return true;
}

LayoutCheck ReadGeneralLayout(const uint8_t* block, uint64_t block_size, ImageLayout* layout) {
  if (block_size < 4) return LayoutCheck::kInvalidData;
  const uint32_t header_bytes = ReadU32(block + kBiSize);
  // 12 and 16 bytes are the older core (OS/2) headers: well formed, not
  // turned, whatever the block's length (a small one is shorter than 40).
  if (header_bytes == 12 || header_bytes == 16) return LayoutCheck::kNotSupported;
  if (block_size < static_cast<uint64_t>(kInfoHeaderBytes)) return LayoutCheck::kInvalidData;
  if (header_bytes < static_cast<uint32_t>(kInfoHeaderBytes) || header_bytes > block_size) {
    return LayoutCheck::kInvalidData;
  }
  const int bits = ReadU16(block + kBiBitCount);
  const uint32_t compression = ReadU32(block + kBiCompression);
  if (ReadU16(block + kBiPlanes) != 1) return LayoutCheck::kNotSupported;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return LayoutCheck::kNotSupported;
  }
  const bool bitfields = (compression == kBiBitfields || compression == kBiAlphaBitfields) &&
                         (bits == 16 || bits == 32);
  if (compression != kBiRgb && !bitfields) return LayoutCheck::kNotSupported;

  const int32_t width = ReadI32(block + kBiWidth);
  const int32_t stored_height = ReadI32(block + kBiHeight);
  if (width < 0 || stored_height == INT32_MIN) return LayoutCheck::kInvalidData;

  // Masks behind a 40-byte header (larger headers hold them), then the table.
  const uint32_t clr_used = ReadU32(block + kBiClrUsed);
  const int64_t masks =
      !bitfields || header_bytes != kInfoHeaderBytes ? 0
      : compression == kBiAlphaBitfields            ? kAlphaBitfieldMaskBytes
                                                    : kBitfieldMaskBytes;
  const int64_t entries = clr_used != 0 ? clr_used : bits <= 8 ? int64_t{1} << bits : 0;
  const int64_t offset = int64_t{header_bytes} + masks + 4 * entries;

  ImageLayout r{};
  r.top_down = stored_height < 0;
  const int32_t height = r.top_down ? -stored_height : stored_height;
  if (!SizeImage(bits, width, height, offset, block_size, &r)) return LayoutCheck::kInvalidData;

  // A V5 header's profile, when it has one, must lie behind the rows inside
  // the block; a quarter turn moves it to the same distance behind the
  // turned rows.
  if (header_bytes >= kV5HeaderBytes) {
    const uint32_t cs_type = ReadU32(block + kBV5CsType);
    const uint32_t at = ReadU32(block + kBV5ProfileData);
    const uint32_t size = ReadU32(block + kBV5ProfileSize);
    if ((cs_type == kProfileLinked || cs_type == kProfileEmbedded) && size > 0) {
      const int64_t end = int64_t{at} + size;
      if (at < static_cast<uint32_t>(r.image_end) || static_cast<uint64_t>(end) > block_size) {
        return LayoutCheck::kInvalidData;
      }
      const int64_t turned_at = int64_t{r.pixel_offset} + r.dst_bytes + (at - r.image_end);
      if (!Fits(end) || !Narrow(turned_at, &r.turned_profile_offset) ||
          !Narrow(turned_at + size, &r.turned_block_bytes)) {
        return LayoutCheck::kInvalidData;
      }
      r.profile_offset = static_cast<int32_t>(at);
      r.profile_bytes = static_cast<int32_t>(size);
    }
  }
  *layout = r;
  return LayoutCheck::kOk;
}

}  // namespace quadturn
