// OpenCV core: cv::rotate on 8-bit mats of 1, 3 and 4 channels.
#include <opencv2/core.hpp>

#include "bench.h"

namespace quadturn::bench {
namespace {

const RegisterPeer kOpenCv{{"OpenCV cv::rotate", [](const Image& image) -> Turn {
  if (image.bits != 8 && image.bits != 24 && image.bits != 32) return {};
  const int type = image.bits == 8 ? CV_8UC1 : image.bits == 24 ? CV_8UC3 : CV_8UC4;
  auto src = std::make_shared<cv::Mat>(image.height, image.width, type,
                                       const_cast<uint8_t*>(image.rows.data()),
                                       static_cast<size_t>(image.stride));
  auto dst = std::make_shared<cv::Mat>(image.width, image.height, type);
  return [src, dst] { cv::rotate(*src, *dst, cv::ROTATE_90_CLOCKWISE); };
}}};

}  // namespace
}  // namespace quadturn::bench
