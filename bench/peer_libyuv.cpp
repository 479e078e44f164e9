// libyuv: RotatePlane turns 8-bit planes, ARGBRotate 32-bit pixels; it has
// no 1- or 24-bit turn. MirrorPlane and ARGBMirror mirror, CopyPlane and
// ARGBCopy with a negative height flip, the 180-degree rotations half turn.
#include <libyuv/planar_functions.h>
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

// The same image size out, into a buffer made once: `call(dst)`.
template <typename Call>
Turn SameShape(const Image& image, Call call) {
  auto dst = std::make_shared<std::vector<uint8_t>>(image.rows.size());
  return [dst, call] { call(dst->data()); };
}

const RegisterPeer kMirrorPlane{{"libyuv MirrorPlane", [](const Image& image) -> Turn {
  if (image.bits != 8) return {};
  return SameShape(image, [&image](uint8_t* d) {
    libyuv::MirrorPlane(image.rows.data(), static_cast<int>(image.stride), d,
                        static_cast<int>(image.stride), image.width, image.height);
  });
}, 4}};

const RegisterPeer kArgbMirror{{"libyuv ARGBMirror", [](const Image& image) -> Turn {
  if (image.bits != 32) return {};
  return SameShape(image, [&image](uint8_t* d) {
    libyuv::ARGBMirror(image.rows.data(), static_cast<int>(image.stride), d,
                       static_cast<int>(image.stride), image.width, image.height);
  });
}, 4}};

const RegisterPeer kCopyFlipped{{"libyuv CopyPlane, height negative", [](const Image& image) -> Turn {
  if (image.bits != 8) return {};
  return SameShape(image, [&image](uint8_t* d) {
    libyuv::CopyPlane(image.rows.data(), static_cast<int>(image.stride), d,
                      static_cast<int>(image.stride), image.width, -image.height);
  });
}, 6}};

const RegisterPeer kRotate180{{"libyuv RotatePlane 180", [](const Image& image) -> Turn {
  if (image.bits != 8) return {};
  return SameShape(image, [&image](uint8_t* d) {
    libyuv::RotatePlane(image.rows.data(), static_cast<int>(image.stride), d,
                        static_cast<int>(image.stride), image.width, image.height,
                        libyuv::kRotate180);
  });
}, 2}};

const RegisterPeer kArgbRotate180{{"libyuv ARGBRotate 180", [](const Image& image) -> Turn {
  if (image.bits != 32) return {};
  return SameShape(image, [&image](uint8_t* d) {
    libyuv::ARGBRotate(image.rows.data(), static_cast<int>(image.stride), d,
                       static_cast<int>(image.stride), image.width, image.height,
                       libyuv::kRotate180);
  });
}, 2}};

}  // namespace
}  // namespace quadturn::bench
