// FreeImage: FreeImage_Rotate by 90 degrees on 1-, 8- and 24-bit bitmaps (it
// returns a new bitmap).
#include <FreeImage.h>

#include <cstring>

#include "bench.h"

namespace quadturn::bench {
namespace {

const RegisterPeer kFreeImage{{"FreeImage_Rotate", [](const Image& image) -> Turn {
  FIBITMAP* dib = FreeImage_Allocate(image.width, image.height, image.bits);
  for (int r = 0; r < image.height; ++r) {
    std::memcpy(FreeImage_GetScanLine(dib, r), image.rows.data() + r * image.stride,
                FreeImage_GetPitch(dib));
  }
  auto owner = std::shared_ptr<FIBITMAP>(dib, [](FIBITMAP* p) { FreeImage_Unload(p); });
  return [owner] {
    FIBITMAP* turned = FreeImage_Rotate(owner.get(), 90);
    FreeImage_Unload(turned);
  };
}}};

}  // namespace
}  // namespace quadturn::bench
