// One quarter turn (or two) of a packed DIB: copy it into a movable block,
// call the library, copy the result back.
#include "turn_dib.h"

#include <cstdint>
#include <cstring>

#include "quadturn.h"

namespace qt_tool {
namespace {

constexpr int kBiSizeImage = 20;

// Every turn restates biSizeImage for the turned rows, which never reaches
// 0xFFFFFFFF; finding this marker still there means the image was left as it
// was, even for a square image whose turn has the same width and height.
constexpr uint8_t kUntouchedMark[4] = {0xFF, 0xFF, 0xFF, 0xFF};

bool QuarterTurn(HGLOBAL h, bool right) {
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  if (p == nullptr) return false;
  std::memcpy(p + kBiSizeImage, kUntouchedMark, 4);
  GlobalUnlock(h);
  if (right) {
    RotateRight90(h);
  } else {
    RotateLeft90(h);
  }
  p = static_cast<uint8_t*>(GlobalLock(h));
  if (p == nullptr) return false;
  const bool turned = std::memcmp(p + kBiSizeImage, kUntouchedMark, 4) != 0;
  GlobalUnlock(h);
  return turned;
}

}  // namespace

bool TurnDib(Dib* dib, Turn turn, std::string* error) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, dib->bytes.size());
  auto* p = h == nullptr ? nullptr : static_cast<uint8_t*>(GlobalLock(h));
  if (p == nullptr) {
    if (h != nullptr) GlobalFree(h);
    *error = "out of memory";
    return false;
  }
  std::memcpy(p, dib->bytes.data(), dib->bytes.size());
  GlobalUnlock(h);

  bool turned = QuarterTurn(h, turn != Turn::kLeft);
  if (turned && turn == Turn::kHalf) turned = QuarterTurn(h, true);
  if (turned) {
    p = static_cast<uint8_t*>(GlobalLock(h));
    turned = p != nullptr;
    if (turned) {
      // Windows may hand out a larger block than asked for; the image is
      // the header, the table and the rows its header now describes.
      const uint64_t width = p[4] | (p[5] << 8) | (p[6] << 16) | (uint64_t{p[7]} << 24);
      const uint64_t height = p[8] | (p[9] << 8) | (p[10] << 16) | (uint64_t{p[11]} << 24);
      const int bits = p[14] | (p[15] << 8);
      const uint64_t size = dib->pixel_offset + (width * bits + 31) / 32 * 4 * height;
      turned = size <= GlobalSize(h);
      if (turned) dib->bytes.assign(p, p + size);
      GlobalUnlock(h);
    }
  }
  GlobalFree(h);
  if (!turned) *error = "left untouched by the library (out of memory, or too large)";
  return turned;
}

}  // namespace qt_tool
