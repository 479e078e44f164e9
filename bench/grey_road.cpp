// The grey road for 1-bit images over the public API: the header read
// through the DIB types, two working blocks, RotateFlipPixels for the turn.
#include "grey_road.h"

#include <cstdint>
#include <cstring>

#include "grey_kernels.h"

namespace quadturn::bench {
namespace {

// A 1-bit DIB's rows start behind the header and its two colours.
constexpr std::size_t kRowsAt = sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD);

int32_t Stride(int32_t width, int bits) {
  return static_cast<int32_t>((int64_t{width} * bits + 31) / 32 * 4);
}

// A locked block of `bytes`, released with its lock.
struct Work {
  HGLOBAL h;
  uint8_t* p;
  explicit Work(SIZE_T bytes) : h(GlobalAlloc(GMEM_MOVEABLE, bytes)), p(nullptr) {
    if (h != nullptr) p = static_cast<uint8_t*>(GlobalLock(h));
  }
  ~Work() {
    if (p != nullptr) GlobalUnlock(h);
    if (h != nullptr) GlobalFree(h);
  }
};

}  // namespace

bool TurnThroughGrey(HGLOBAL h) {
  auto* dib = static_cast<uint8_t*>(GlobalLock(h));
  if (dib == nullptr) return false;
  BITMAPINFOHEADER bi;
  std::memcpy(&bi, dib, sizeof bi);
  const int32_t w = bi.biWidth, rows = bi.biHeight;
  const int32_t grey_stride = Stride(w, 8), turned_stride = Stride(rows, 8);
  Work grey(static_cast<SIZE_T>(grey_stride) * rows);
  Work turned(static_cast<SIZE_T>(turned_stride) * w);
  if (grey.p == nullptr || turned.p == nullptr) {
    GlobalUnlock(h);
    return false;
  }
  ExpandBitsToBytes(dib + kRowsAt, Stride(w, 1), grey.p, grey_stride, w, rows);
  GlobalUnlock(h);
  // Stored rows run upwards: over them a clockwise turn is the other one.
  RotateFlipPixels(grey.p, grey_stride, turned.p, turned_stride, w, rows, 8, QUADTURN_LEFT);
  const int32_t packed_stride = Stride(rows, 1);
  const SIZE_T size = kRowsAt + static_cast<SIZE_T>(packed_stride) * w;
  if (GlobalReAlloc(h, size, GMEM_MOVEABLE) == nullptr) return false;
  dib = static_cast<uint8_t*>(GlobalLock(h));
  if (dib == nullptr) return false;
  bi.biWidth = rows;
  bi.biHeight = w;
  std::memcpy(dib, &bi, sizeof bi);
  PackBytesToBits(turned.p, turned_stride, dib + kRowsAt, packed_stride, rows, w);
  GlobalUnlock(h);
  return true;
}

}  // namespace quadturn::bench
