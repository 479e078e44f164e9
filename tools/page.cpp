// Pages of TIFF and PNG files in blocks, read from and written back to
// their headers through the public header's DIB types.
#include "page.h"

#include <cstring>

#include "dib_sizes.h"
#include "image_file.h"

namespace quadturn::tool {
namespace {

uint32_t TableBytes(int bits) { return bits <= 8 ? 4u << bits : 0; }

}  // namespace

Page::~Page() {
  if (h_ == nullptr) return;
  if (rows_ != nullptr) GlobalUnlock(h_);
  GlobalFree(h_);
}

bool Page::Make(uint32_t width, uint32_t height, int bits, std::string* error) {
  const uint64_t head = sizeof(BITMAPINFOHEADER) + TableBytes(bits);
  const uint64_t rows = DibStride(width, bits) * height;
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF || !DibFits(head, width, height, bits)) {
    *error = "too large: a page of " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels would pass 2^31 - 1 bytes";
    return false;
  }
  h_ = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(head + rows));
  if (h_ == nullptr) {
    *error = "out of memory";
    return false;
  }
  auto* p = static_cast<uint8_t*>(GlobalLock(h_));
  if (p == nullptr) {
    *error = "out of memory";
    return false;
  }
  BITMAPINFOHEADER bi{};
  bi.biSize = sizeof bi;
  bi.biWidth = static_cast<LONG>(width);
  bi.biHeight = -static_cast<LONG>(height);  // top-down, as the files store rows
  bi.biPlanes = 1;
  bi.biBitCount = static_cast<WORD>(bits);
  bi.biCompression = BI_RGB;
  bi.biSizeImage = static_cast<DWORD>(rows);
  std::memcpy(p, &bi, sizeof bi);
  std::memset(p + sizeof bi, 0, TableBytes(bits));
  GlobalUnlock(h_);
  return Lock(error);
}

bool Page::Turn(int type, std::string* error) {
  GlobalUnlock(h_);
  rows_ = nullptr;
  const bool turned = TurnBlock(h_, type, error);
  return Lock(error) && turned;
}

bool Page::Lock(std::string* error) {
  auto* p = static_cast<uint8_t*>(GlobalLock(h_));
  if (p == nullptr) {
    *error = "out of memory";
    return false;
  }
  BITMAPINFOHEADER bi;
  std::memcpy(&bi, p, sizeof bi);
  bits_ = bi.biBitCount;
  width_ = static_cast<uint32_t>(bi.biWidth);
  height_ = static_cast<uint32_t>(bi.biHeight < 0 ? -bi.biHeight : bi.biHeight);
  stride_ = static_cast<std::ptrdiff_t>(DibStride(width_, bits_));
  rows_ = p + bi.biSize + TableBytes(bits_);
  return true;
}

}  // namespace quadturn::tool
