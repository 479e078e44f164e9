// OpenCV core: cv::rotate, cv::flip and cv::transpose on 8-bit mats of 1, 3
// and 4 channels, and 16-bit ones of 1, 3 and 4.
#include <opencv2/core.hpp>

#include "bench.h"

namespace quadturn::bench {
namespace {

// The image as a mat over its rows, and one for a result of `rows` x `cols`;
// null for a depth OpenCV has no type for.
std::shared_ptr<cv::Mat> MatOf(const Image& image) {
  const int type = image.bits == 8    ? CV_8UC1
                   : image.bits == 16 ? CV_16UC1
                   : image.bits == 24 ? CV_8UC3
                   : image.bits == 32 ? CV_8UC4
                   : image.bits == 48 ? CV_16UC3
                   : image.bits == 64 ? CV_16UC4
                                      : -1;
  if (type < 0) return nullptr;
  return std::make_shared<cv::Mat>(image.height, image.width, type,
                                   const_cast<uint8_t*>(image.rows.data()),
                                   static_cast<size_t>(image.stride));
}

template <typename Call>
Turn OnMat(const Image& image, bool swap, Call call) {
  auto src = MatOf(image);
  if (src == nullptr) return {};
  auto dst = std::make_shared<cv::Mat>(swap ? image.width : image.height,
                                       swap ? image.height : image.width, src->type());
  return [src, dst, call] { call(*src, *dst); };
}

const RegisterPeer kOpenCv{{"OpenCV cv::rotate", [](const Image& image) -> Turn {
  if (image.bits == 16) return {};
  return OnMat(image, true, [](cv::Mat& s, cv::Mat& d) { cv::rotate(s, d, cv::ROTATE_90_CLOCKWISE); });
}}};

const RegisterPeer kOpenCvHalf{{"OpenCV cv::flip both", [](const Image& image) -> Turn {
  return OnMat(image, false, [](cv::Mat& s, cv::Mat& d) { cv::flip(s, d, -1); });
}, 2}};

const RegisterPeer kOpenCvMirror{{"OpenCV cv::flip 1", [](const Image& image) -> Turn {
  return OnMat(image, false, [](cv::Mat& s, cv::Mat& d) { cv::flip(s, d, 1); });
}, 4}};

const RegisterPeer kOpenCvFlip{{"OpenCV cv::flip 0", [](const Image& image) -> Turn {
  return OnMat(image, false, [](cv::Mat& s, cv::Mat& d) { cv::flip(s, d, 0); });
}, 6}};

const RegisterPeer kOpenCvTranspose{{"OpenCV cv::transpose", [](const Image& image) -> Turn {
  return OnMat(image, true, [](cv::Mat& s, cv::Mat& d) { cv::transpose(s, d); });
}, 5}};

}  // namespace
}  // namespace quadturn::bench
