// libyuv: RotatePlane turns 8-bit planes, ARGBRotate 32-bit pixels; it has
// no 1- or 24-bit turn.
#include <libyuv/rotate.h>
#include <libyuv/rotate_argb.h>

#include "bench.h"

namespace quadturn::bench {
namespace {

const RegisterPeer kLibyuvArgb{{"libyuv ARGBRotate", [](const Image& image) -> Turn {
  if (image.bits != 32) return {};
  const int dst_stride = image.height * 4;
  auto dst = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(dst_stride) * image.width);
  return [&image, dst, dst_stride] {
    libyuv::ARGBRotate(image.rows.data(), static_cast<int>(image.stride), dst->data(), dst_stride,
                       image.width, image.height, libyuv::kRotate90);
  };
}}};

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
}  // namespace quadturn::bench
