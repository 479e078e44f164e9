// Reading and adjusting EXIF data in place.
#include "exif.h"

namespace quadturn::tool {
namespace {

constexpr uint16_t kOrientation = 0x0112;
constexpr uint16_t kExifIfd = 0x8769;
constexpr uint16_t kPixelX = 0xA002;
constexpr uint16_t kPixelY = 0xA003;
constexpr uint16_t kShort = 3, kLong = 4;

// The data in its own byte order; every read is checked.
class Exif {
 public:
  Exif(uint8_t* p, std::size_t size) : p_(p), size_(size) {
    little_ = size >= 8 && p[0] == 'I' && p[1] == 'I';
    valid_ = size >= 8 && (little_ || (p[0] == 'M' && p[1] == 'M')) && U16(2) == 42;
  }
  bool valid() const { return valid_; }
  bool Has(uint64_t at, uint64_t n) const { return at <= size_ && n <= size_ - at; }
  uint32_t U16(uint64_t at) const {
    if (!Has(at, 2)) return 0;
    return little_ ? p_[at] | p_[at + 1] << 8 : p_[at] << 8 | p_[at + 1];
  }
  uint32_t U32(uint64_t at) const {
    if (!Has(at, 4)) return 0;
    const uint32_t a = U16(at), b = U16(at + 2);
    return little_ ? a | b << 16 : a << 16 | b;
  }
  void Put16(uint64_t at, uint32_t v) {
    p_[at + (little_ ? 0 : 1)] = static_cast<uint8_t>(v);
    p_[at + (little_ ? 1 : 0)] = static_cast<uint8_t>(v >> 8);
  }
  void Put32(uint64_t at, uint32_t v) {
    Put16(at + (little_ ? 0 : 2), v & 0xFFFF);
    Put16(at + (little_ ? 2 : 0), v >> 16);
  }
  // The 12-byte entry of `tag` in the IFD at `ifd`, or 0.
  uint64_t Entry(uint64_t ifd, uint16_t tag) const {
    if (!Has(ifd, 2)) return 0;
    const uint32_t n = U16(ifd);
    for (uint32_t k = 0; k < n; ++k) {
      const uint64_t at = ifd + 2 + 12 * uint64_t{k};
      if (!Has(at, 12)) return 0;
      if (U16(at) == tag) return at;
    }
    return 0;
  }
  // A SHORT or LONG entry's one value; false for another type or count.
  bool Value(uint64_t entry, uint32_t* v) const {
    if (entry == 0 || U32(entry + 4) != 1) return false;
    const uint32_t type = U16(entry + 2);
    if (type == kShort) *v = U16(entry + 8);
    if (type == kLong) *v = U32(entry + 8);
    return type == kShort || type == kLong;
  }
  // Sets an entry's value in its own type; false where it does not fit.
  bool SetValue(uint64_t entry, uint32_t v) {
    if (U16(entry + 2) == kShort) {
      if (v > 0xFFFF) return false;
      Put16(entry + 8, v);
    } else {
      Put32(entry + 8, v);
    }
    return true;
  }
  uint64_t FirstIfd() const { return U32(4); }

 private:
  uint8_t* p_;
  std::size_t size_;
  bool little_ = false, valid_ = false;
};

}  // namespace

int ExifOrientation(const uint8_t* exif, std::size_t size) {
  const Exif e(const_cast<uint8_t*>(exif), size);
  uint32_t v = 0;
  if (!e.valid() || !e.Value(e.Entry(e.FirstIfd(), kOrientation), &v)) return 0;
  return v >= 1 && v <= 8 ? static_cast<int>(v) : 0;
}

bool SetExifOrientation(uint8_t* exif, std::size_t size, int orientation) {
  Exif e(exif, size);
  const uint64_t entry = e.valid() ? e.Entry(e.FirstIfd(), kOrientation) : 0;
  uint32_t v = 0;
  if (!e.Value(entry, &v) || e.U16(entry + 2) != kShort) return false;
  e.SetValue(entry, static_cast<uint32_t>(orientation));
  return true;
}

bool ExchangeExifDimensions(uint8_t* exif, std::size_t size) {
  Exif e(exif, size);
  if (!e.valid()) return true;
  uint32_t sub = 0;
  if (!e.Value(e.Entry(e.FirstIfd(), kExifIfd), &sub)) return true;
  const uint64_t x = e.Entry(sub, kPixelX), y = e.Entry(sub, kPixelY);
  uint32_t w = 0, h = 0;
  if (!e.Value(x, &w) || !e.Value(y, &h)) return true;
  const bool fits = (e.U16(x + 2) == kLong || h <= 0xFFFF) && (e.U16(y + 2) == kLong || w <= 0xFFFF);
  if (!fits) return false;
  e.SetValue(x, h);
  e.SetValue(y, w);
  return true;
}

}  // namespace quadturn::tool
