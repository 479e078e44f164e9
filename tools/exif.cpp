// Reading and adjusting EXIF data in place.
#include "exif.h"

#include <algorithm>
#include <utility>

namespace quadturn::tool {
namespace {

constexpr uint16_t kOrientation = 0x0112;
constexpr uint16_t kXResolution = 0x011A;
constexpr uint16_t kYResolution = 0x011B;
constexpr uint16_t kThumbnailAt = 0x0201;
constexpr uint16_t kThumbnailLength = 0x0202;
constexpr uint16_t kExifIfd = 0x8769;
constexpr uint16_t kPixelX = 0xA002;
constexpr uint16_t kPixelY = 0xA003;
constexpr uint16_t kShort = 3, kLong = 4, kSignedLong = 9;

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
  // A SHORT or LONG (or SLONG, as some writers give sizes) entry's one
  // value; false for another type or count.
  bool Value(uint64_t entry, uint32_t* v) const {
    if (entry == 0 || U32(entry + 4) != 1) return false;
    const uint32_t type = U16(entry + 2);
    if (type == kShort) *v = U16(entry + 8);
    if (type == kLong || type == kSignedLong) *v = U32(entry + 8);
    return type == kShort || type == kLong || type == kSignedLong;
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
  // The IFD after IFD0 (IFD1), or 0.
  uint64_t SecondIfd() const {
    const uint64_t ifd = FirstIfd();
    return Has(ifd, 2) ? U32(ifd + 2 + 12 * uint64_t{U16(ifd)}) : 0;
  }
  bool little() const { return little_; }

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

void ExchangeExifResolutions(uint8_t* exif, std::size_t size) {
  Exif e(exif, size);
  if (!e.valid()) return;
  const uint64_t x = e.Entry(e.FirstIfd(), kXResolution), y = e.Entry(e.FirstIfd(), kYResolution);
  if (x == 0 || y == 0 || e.U16(x + 2) != e.U16(y + 2) || e.U32(x + 4) != e.U32(y + 4)) return;
  // Rationals lie elsewhere: the entries' offsets trade places.
  for (int k = 8; k < 12; ++k) std::swap(exif[x + k], exif[y + k]);
}

bool PutExifOrientation(std::vector<uint8_t>* exif, int orientation) {
  if (SetExifOrientation(exif->data(), exif->size(), orientation)) return true;
  Exif e(exif->data(), exif->size());
  const uint64_t ifd = e.valid() ? e.FirstIfd() : 0;
  if (!e.valid() || !e.Has(ifd, 2) || e.Entry(ifd, kOrientation) != 0) return false;
  const uint32_t n = e.U16(ifd);
  if (!e.Has(ifd + 2, 12 * uint64_t{n} + 4)) return false;
  // IFD0 again behind the data, the orientation among its entries in tag
  // order; the entries' values stay where they are.
  std::vector<uint8_t> ifd0(exif->begin() + static_cast<std::ptrdiff_t>(ifd),
                            exif->begin() + static_cast<std::ptrdiff_t>(ifd + 6 + 12 * n));
  uint32_t k = 0;
  while (k < n && e.U16(ifd + 2 + 12 * k) < kOrientation) ++k;
  const std::size_t at = exif->size() + exif->size() % 2;
  exif->resize(at);
  exif->insert(exif->end(), ifd0.begin(), ifd0.begin() + 2 + 12 * k);
  exif->insert(exif->end(), 12, 0);
  exif->insert(exif->end(), ifd0.begin() + 2 + 12 * k, ifd0.end());
  Exif grown(exif->data(), exif->size());
  grown.Put16(at, n + 1);
  const uint64_t entry = at + 2 + 12 * uint64_t{k};
  grown.Put16(entry, kOrientation);
  grown.Put16(entry + 2, kShort);
  grown.Put32(entry + 4, 1);
  grown.Put16(entry + 8, static_cast<uint32_t>(orientation));
  grown.Put32(4, static_cast<uint32_t>(at));
  return true;
}

std::vector<uint8_t> ExifWithOrientation(int orientation) {
  return {'I', 'I', 42, 0, 8, 0, 0, 0,                    // header, IFD0 at 8
          1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0,            // one entry: Orientation, SHORT
          static_cast<uint8_t>(orientation), 0, 0, 0,    // its value
          0, 0, 0, 0};                                   // no IFD1
}

bool ExifThumbnail(const uint8_t* exif, std::size_t size, uint32_t* at, uint32_t* length) {
  const Exif e(const_cast<uint8_t*>(exif), size);
  const uint64_t ifd1 = e.valid() ? e.SecondIfd() : 0;
  if (ifd1 == 0 || !e.Value(e.Entry(ifd1, kThumbnailAt), at) ||
      !e.Value(e.Entry(ifd1, kThumbnailLength), length)) {
    return false;
  }
  return *length > 0 && e.Has(*at, *length);
}

bool ReplaceExifThumbnail(std::vector<uint8_t>* exif, const std::string& thumbnail) {
  uint32_t at = 0, length = 0;
  if (!ExifThumbnail(exif->data(), exif->size(), &at, &length)) return false;
  const bool last = uint64_t{at} + length == exif->size();
  // At the end it grows or shrinks; elsewhere it stays where it fits, or
  // moves to the end, its old place cleared.
  std::fill(exif->begin() + at, exif->begin() + at + length, uint8_t{0});
  if (last) {
    exif->resize(at);
  } else if (thumbnail.size() > length) {
    at = static_cast<uint32_t>(exif->size() + exif->size() % 2);
    exif->resize(at);
  }
  if (exif->size() < at + thumbnail.size()) exif->resize(at + thumbnail.size());
  std::copy(thumbnail.begin(), thumbnail.end(), exif->begin() + at);
  Exif e(exif->data(), exif->size());
  const uint64_t ifd1 = e.SecondIfd();
  return e.SetValue(e.Entry(ifd1, kThumbnailAt), at) &&
         e.SetValue(e.Entry(ifd1, kThumbnailLength), static_cast<uint32_t>(thumbnail.size()));
}

void DropExifThumbnail(uint8_t* exif, std::size_t size) {
  Exif e(exif, size);
  const uint64_t ifd = e.valid() ? e.FirstIfd() : 0;
  if (ifd == 0 || !e.Has(ifd, 2)) return;
  const uint64_t next = ifd + 2 + 12 * uint64_t{e.U16(ifd)};
  if (e.Has(next, 4)) e.Put32(next, 0);
}

}  // namespace quadturn::tool
