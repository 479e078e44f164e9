// leptonica: pixRotate90 on 1- and 8-bit images, pixFlipLR and pixFlipTB on
// 1-, 4-, 8-, 16- and 32-bit ones, pixRotate180 (each returns a new image).
#include <leptonica/allheaders.h>

#include <cstring>

#include "bench.h"

namespace quadturn::bench {
namespace {

// A pix holding the image's rows, owned by the turn that uses it.
std::shared_ptr<PIX> PixOf(const Image& image) {
  PIX* pix = pixCreate(image.width, image.height, image.bits);
  // leptonica keeps 32-bit words with the first pixel in the high byte; the
  // content does not change the time, so the rows are copied as they are.
  const int wpl = pixGetWpl(pix);
  for (int r = 0; r < image.height; ++r) {
    std::memcpy(pixGetData(pix) + r * wpl, image.rows.data() + r * image.stride,
                static_cast<size_t>(image.stride));
  }
  return std::shared_ptr<PIX>(pix, [](PIX* p) { pixDestroy(&p); });
}

// `call(pix)` returns a new image, destroyed at once.
template <typename Call>
Turn OnPix(const Image& image, Call call) {
  if (image.bits > 32 || image.bits == 24) return {};
  auto owner = PixOf(image);
  return [owner, call] {
    PIX* out = call(owner.get());
    pixDestroy(&out);
  };
}

const RegisterPeer kLeptonica{{"leptonica pixRotate90", [](const Image& image) -> Turn {
  if (image.bits != 1 && image.bits != 8) return {};
  return OnPix(image, [](PIX* p) { return pixRotate90(p, 1); });
}}};

const RegisterPeer kLeptonicaHalf{{"leptonica pixRotate180", [](const Image& image) -> Turn {
  return OnPix(image, [](PIX* p) { return pixRotate180(nullptr, p); });
}, 2}};

const RegisterPeer kLeptonicaMirror{{"leptonica pixFlipLR", [](const Image& image) -> Turn {
  return OnPix(image, [](PIX* p) { return pixFlipLR(nullptr, p); });
}, 4}};

const RegisterPeer kLeptonicaFlip{{"leptonica pixFlipTB", [](const Image& image) -> Turn {
  return OnPix(image, [](PIX* p) { return pixFlipTB(nullptr, p); });
}, 6}};

}  // namespace
}  // namespace quadturn::bench
