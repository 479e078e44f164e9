// Builders, block helpers and the per-pixel oracle shared by the tests.
#include "test_images.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace quadturn::test {

uint64_t Rng::Next() {
  // splitmix64
  uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

uint32_t U32At(const Bytes& b, int offset) {
  return b[offset] | (b[offset + 1] << 8) | (b[offset + 2] << 16) |
         (static_cast<uint32_t>(b[offset + 3]) << 24);
}
int32_t I32At(const Bytes& b, int offset) {
  return static_cast<int32_t>(U32At(b, offset));
}
void PutU32(Bytes& b, int offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t StrideOf(int bits, int32_t width) {
  const int64_t w = width;  // widths near INT32_MAX turn when there are no rows
  return static_cast<int32_t>((w * bits + 31) / 32 * 4);
}

// Pixel x of a stored row, as an integer: at 1 and 4 bits the most
// significant pixel of a byte comes first; wider pixels are little-endian.
uint32_t GetPixel(int bits, const uint8_t* row, int32_t x) {
  if (bits < 8) {
    const int64_t bit = int64_t{x} * bits;
    return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
  }
  uint32_t v = 0;
  for (int k = 0; k < bits / 8; ++k) v |= uint32_t{row[x * (bits / 8) + k]} << (8 * k);
  return v;
}

void SetPixel(int bits, uint8_t* row, int32_t x, uint32_t v) {
  if (bits < 8) {
    const int64_t bit = int64_t{x} * bits;
    const int shift = static_cast<int>(8 - bits - bit % 8);
    const uint32_t mask = ((1u << bits) - 1) << shift;
    row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~mask) | ((v << shift) & mask));
    return;
  }
  for (int k = 0; k < bits / 8; ++k) row[x * (bits / 8) + k] = static_cast<uint8_t>(v >> (8 * k));
}

void CopyPixel(int bits, const uint8_t* from, int32_t x_from, uint8_t* to, int32_t x_to) {
  if (bits % 8 == 0) {
    const int n = bits / 8;
    std::memcpy(to + int64_t{x_to} * n, from + int64_t{x_from} * n, n);
    return;
  }
  // Bit by bit, the first bit of a pixel the most significant of its byte.
  for (int b = 0; b < bits; ++b) {
    const int64_t s = int64_t{x_from} * bits + b, d = int64_t{x_to} * bits + b;
    const int bit = (from[s / 8] >> (7 - s % 8)) & 1;
    to[d / 8] = static_cast<uint8_t>((to[d / 8] & ~(0x80 >> d % 8)) | (bit << (7 - d % 8)));
  }
}

int TypeOfTurns(int quarters) { return ((quarters % 4) + 4) % 4; }

Bytes OracleRows(int bits, const uint8_t* src, int32_t src_stride, int32_t w, int32_t h,
                 int type, uint8_t pad) {
  const bool swap = type % 2 != 0;
  const int32_t out_w = swap ? h : w, out_h = swap ? w : h;
  const int32_t d = StrideOf(bits, out_w);
  // Rows start as the padding they keep: padding bits 0, padding bytes pad.
  Bytes out(static_cast<size_t>(d) * out_h, pad);
  const int32_t used = static_cast<int32_t>((int64_t{out_w} * bits + 7) / 8);
  for (int32_t r = 0; r < out_h && used > 0; ++r) std::memset(out.data() + r * d, 0, used);
  for (int32_t y = 0; y < out_h && out_w > 0; ++y) {
    for (int32_t x = 0; x < out_w; ++x) {
      // The source pixel (column sx, row sy) that pixel (x, y) shows.
      int32_t sx = x, sy = y;
      switch (type) {
        case 1: sx = y, sy = h - 1 - x; break;
        case 2: sx = w - 1 - x, sy = h - 1 - y; break;
        case 3: sx = w - 1 - y, sy = x; break;
        case 4: sx = w - 1 - x; break;
        case 5: sx = y, sy = x; break;
        case 6: sy = h - 1 - y; break;
        case 7: sx = w - 1 - y, sy = h - 1 - x; break;
      }
      CopyPixel(bits, src + sy * src_stride, sx, out.data() + y * d, x);
    }
  }
  return out;
}

int32_t RowsOffsetOf(const Bytes& dib, Rules rules) {
  const int bits = dib[14] | (dib[15] << 8);
  const uint32_t header = U32At(dib, 0), clr_used = U32At(dib, 32);
  if (rules == Rules::kRotate90) {
    if (bits == 1) return 48;
    const uint32_t entries = bits == 8 && clr_used == 0 ? 256 : clr_used;
    return static_cast<int32_t>(header + 4 * entries);
  }
  const uint32_t compression = U32At(dib, 16);
  const int32_t masks = header != 40 ? 0 : compression == 3 ? 12 : compression == 6 ? 16 : 0;
  const int64_t entries = clr_used != 0 ? clr_used : bits <= 8 ? 1 << bits : 0;
  return static_cast<int32_t>(header + masks + 4 * entries);
}

Bytes MakeDib(const Shape& s, Rng& rng, Rules rules) {
  // The header's fields first: they say where everything else goes.
  Bytes b(40);
  PutU32(b, 0, s.header_bytes);
  PutU32(b, 4, static_cast<uint32_t>(s.width));
  PutU32(b, 8, static_cast<uint32_t>(s.top_down ? -s.height : s.height));
  b[12] = 1;
  b[13] = 0;
  b[14] = static_cast<uint8_t>(s.bits);
  b[15] = 0;
  PutU32(b, 16, s.bitfields ? (s.alpha_mask ? 6 : 3) : 0);
  const int32_t rows = StrideOf(s.bits, s.width) * s.height;
  PutU32(b, 20, static_cast<uint32_t>(s.size_image < 0 ? rows : s.size_image));
  PutU32(b, 24, static_cast<uint32_t>(s.x_ppm));
  PutU32(b, 28, static_cast<uint32_t>(s.y_ppm));
  PutU32(b, 32, s.clr_used);
  PutU32(b, 36, s.clr_important);
  const int32_t image = RowsOffsetOf(b, rules) + rows;
  const Bytes fields = b;
  b.resize(static_cast<size_t>(image) + s.profile_gap + s.profile_bytes + s.slack);
  for (auto& v : b) v = rng.Byte();
  std::copy(fields.begin(), fields.end(), b.begin());
  if (s.header_bytes >= 124) {
    const bool profile = s.profile_bytes > 0;
    PutU32(b, 56, profile ? 0x4D424544u : 0x73524742u);  // 'MBED' or 'sRGB'
    PutU32(b, 112, profile ? static_cast<uint32_t>(image) + s.profile_gap : 0);
    PutU32(b, 116, s.profile_bytes);
  }
  return b;
}

std::string Describe(const Shape& s) {
  std::ostringstream o;
  o << s.bits << "-bit " << s.width << "x" << s.height << (s.top_down ? " top-down" : "")
    << (s.bitfields ? " bitfields" : "") << " biSize " << s.header_bytes << " biClrUsed "
    << s.clr_used << " slack " << s.slack;
  return o.str();
}

Bytes Oracle(const Bytes& dib, int quarters, Rules rules) {
  return OracleOriented(dib, TypeOfTurns(quarters), rules);
}

Bytes OracleOriented(const Bytes& dib, int type, Rules rules) {
  if (type == 0) return dib;
  const bool rotate90 = rules == Rules::kRotate90;
  const int bits = dib[14] | (dib[15] << 8);
  const int32_t w = I32At(dib, 4), stored_h = I32At(dib, 8);
  const bool top_down = stored_h < 0;
  const int32_t h = top_down ? -stored_h : stored_h;
  const int32_t offset = RowsOffsetOf(dib, rules);
  const int32_t s = StrideOf(bits, w);
  const int32_t image = offset + s * h;
  const uint8_t pad = rotate90 && bits == 8 ? 0xFF : 0x00;
  // Bottom-up rows are stored upside down: over them a turn or a transpose
  // is its opposite.
  static const int kFromTheBottom[8] = {0, 3, 2, 1, 4, 7, 6, 5};
  const Bytes rows =
      OracleRows(bits, dib.data() + offset, s, w, h, top_down ? type : kFromTheBottom[type], pad);
  if (type % 2 == 0) {
    Bytes out = dib;
    if (!rows.empty()) std::memcpy(out.data() + offset, rows.data(), rows.size());
    return out;
  }
  const uint32_t header = U32At(dib, 0);
  uint32_t profile_at = 0, profile_size = 0;
  if (!rotate90 && header >= 124 &&
      (U32At(dib, 56) == 0x4D424544u || U32At(dib, 56) == 0x4C494E4Bu)) {
    profile_at = U32At(dib, 112);
    profile_size = U32At(dib, 116);
  }
  const int32_t turned_image = offset + static_cast<int32_t>(rows.size());
  const uint32_t gap = profile_size > 0 ? profile_at - image : 0;
  Bytes out(static_cast<size_t>(turned_image) + (profile_size > 0 ? gap + profile_size : 0));
  std::memcpy(out.data(), dib.data(), offset);
  if (!rows.empty()) std::memcpy(out.data() + offset, rows.data(), rows.size());
  PutU32(out, 4, static_cast<uint32_t>(h));
  PutU32(out, 8, static_cast<uint32_t>(top_down ? -w : w));
  PutU32(out, 20, static_cast<uint32_t>(rows.size()));
  if (rotate90 && bits == 1) {
    PutU32(out, 32, 0);
    PutU32(out, 36, 0);
  } else if (!rotate90) {
    PutU32(out, 24, U32At(dib, 28));
    PutU32(out, 28, U32At(dib, 24));
  }
  if (profile_size > 0) {
    // The gap travels with the profile: its bytes are the old ones there.
    std::memcpy(out.data() + turned_image, dib.data() + image, gap + profile_size);
    PutU32(out, 112, static_cast<uint32_t>(turned_image) + gap);
  }
  return out;
}

HGLOBAL ToBlock(const Bytes& bytes, UINT flags) {
  HGLOBAL h = GlobalAlloc(flags, bytes.size());
  if (h != nullptr && !bytes.empty()) {
    void* p = GlobalLock(h);
    std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(h);
  }
  return h;
}

Bytes FromBlock(HGLOBAL h) {
  Bytes b(GlobalSize(h));
  if (!b.empty()) {
    void* p = GlobalLock(h);
    if (p == nullptr) return {};
    std::memcpy(b.data(), p, b.size());
    GlobalUnlock(h);
  }
  return b;
}

UINT LockCount(HGLOBAL h) { return GlobalFlags(h) & GMEM_LOCKCOUNT; }

Verdict Judge(const Bytes& before, const Bytes& turned, const Bytes& after) {
  if (after == before) return Verdict::kUntouched;
  if (after == turned) return Verdict::kTurned;
  auto starts_with = [&after](const Bytes& image) {
    return std::equal(image.begin(), image.end(), after.begin());
  };
  // A shrink whose cut failed: the turned image, then the old block's tail.
  if (turned.size() < before.size() && after.size() == before.size() && starts_with(turned)) {
    return Verdict::kTurnedLonger;
  }
  // A growth that could not be finished nor cut back: the untouched image,
  // then the bytes the growth added.
  if (before.size() < turned.size() && after.size() == turned.size() && starts_with(before)) {
    return Verdict::kUntouchedLonger;
  }
  return Verdict::kBroken;
}

const char* Name(Verdict v) {
  switch (v) {
    case Verdict::kUntouched: return "untouched";
    case Verdict::kUntouchedLonger: return "untouched, block longer";
    case Verdict::kTurned: return "turned";
    case Verdict::kTurnedLonger: return "turned, block longer";
    case Verdict::kBroken: return "BROKEN";
  }
  return "?";
}

BOOL Apply(Turn turn, HGLOBAL h) {
  return turn == Turn::kRight ? RotateRight90(h) : RotateLeft90(h);
}

}  // namespace quadturn::test
