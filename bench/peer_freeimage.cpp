// FreeImage: FreeImage_Rotate by 90 degrees on 1-, 8-, 24-, 32-, 48- and
// 64-bit bitmaps (it returns a new bitmap); FreeImage_FlipHorizontal and
// FreeImage_FlipVertical in place at every depth.
#include <FreeImage.h>

#include <cstring>

#include "bench.h"

namespace quadturn::bench {
namespace {

std::shared_ptr<FIBITMAP> BitmapOf(const Image& image) {
  // 48 and 64 bits are its RGB16 and RGBA16 types.
  FIBITMAP* dib = image.bits == 48   ? FreeImage_AllocateT(FIT_RGB16, image.width, image.height, 48)
                  : image.bits == 64 ? FreeImage_AllocateT(FIT_RGBA16, image.width, image.height, 64)
                                     : FreeImage_Allocate(image.width, image.height, image.bits);
  for (int r = 0; r < image.height; ++r) {
    std::memcpy(FreeImage_GetScanLine(dib, r), image.rows.data() + r * image.stride,
                FreeImage_GetPitch(dib));
  }
  return std::shared_ptr<FIBITMAP>(dib, [](FIBITMAP* p) { FreeImage_Unload(p); });
}

const RegisterPeer kFreeImage{{"FreeImage_Rotate", [](const Image& image) -> Turn {
  // It turns by 90 degrees at 1, 8, 24 and 32 bits only.
  if (image.bits == 4 || image.bits == 16) return {};
  auto owner = BitmapOf(image);
  return [owner] {
    FIBITMAP* turned = FreeImage_Rotate(owner.get(), 90);
    FreeImage_Unload(turned);
  };
}}};

const RegisterPeer kFreeImageMirror{{"FreeImage_FlipHorizontal", [](const Image& image) -> Turn {
  auto owner = BitmapOf(image);
  return [owner] { FreeImage_FlipHorizontal(owner.get()); };
}, 4}};

const RegisterPeer kFreeImageFlip{{"FreeImage_FlipVertical", [](const Image& image) -> Turn {
  auto owner = BitmapOf(image);
  return [owner] { FreeImage_FlipVertical(owner.get()); };
}, 6}};

}  // namespace
}  // namespace quadturn::bench
