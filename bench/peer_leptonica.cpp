// leptonica: pixRotate90 on 1- and 8-bit images (it returns a new image).
#include <leptonica/allheaders.h>

#include <cstring>

#include "bench.h"

namespace quadturn::bench {
namespace {

const RegisterPeer kLeptonica{{"leptonica pixRotate90", [](const Image& image) -> Turn {
  if (image.bits != 1 && image.bits != 8) return {};
  PIX* pix = pixCreate(image.width, image.height, image.bits);
  // leptonica keeps 32-bit words with the first pixel in the high byte; the
  // content does not change the time, so the rows are copied as they are.
  const int wpl = pixGetWpl(pix);
  for (int r = 0; r < image.height; ++r) {
    std::memcpy(pixGetData(pix) + r * wpl, image.rows.data() + r * image.stride,
                static_cast<size_t>(image.stride));
  }
  auto owner = std::shared_ptr<PIX>(pix, [](PIX* p) { pixDestroy(&p); });
  return [owner] {
    PIX* turned = pixRotate90(owner.get(), 1);
    pixDestroy(&turned);
  };
}}};

}  // namespace
}  // namespace quadturn::bench
