// libyuv: RotatePlane turns 8-bit planes; it has no 1- or 24-bit turn.
#include <libyuv/rotate.h>

#include "bench.h"

namespace qt_bench {
namespace {

const RegisterPeer kLibyuv{{"libyuv RotatePlane", [](const Image& image) -> Turn {
  if (image.bits != 8) return {};
  const int dst_stride = image.height;
  auto dst = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(dst_stride) * image.width);
  return [&image, dst, dst_stride] {
    libyuv::RotatePlane(image.rows.data(), static_cast<int>(image.stride), dst->data(), dst_stride,
                        image.width, image.height, libyuv::kRotate90);
  };
}}};

}  // namespace
}  // namespace qt_bench
