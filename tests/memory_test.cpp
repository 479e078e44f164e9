// How much working memory a turn holds at once, read from the stand-in
// service's peak tracker.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "block_seam.h"
#include "test_images.h"

namespace qt_test {
namespace {

TEST(Memory, OneBitWorkingBlocksHoldAtMostTheImageRows) {
  // Working blocks at any moment hold at most the image's own row bytes, in
  // whichever orientation pads more (the grey road needed about sixteen times
  // that).
  for (auto [w, h] : {std::pair{1000, 700}, std::pair{700, 1000}, std::pair{333, 333}}) {
    Rng rng(12);
    const Bytes dib = MakeDib({.bits = 1, .width = w, .height = h}, rng);
    HGLOBAL block = ToBlock(dib);
    quadturn::seam::TrackPeakBytes(block);
    const std::size_t before = quadturn::seam::PeakTrackedBytes();
    RotateLeft90(block);
    const int32_t rows = std::max(StrideOf(1, w) * h, StrideOf(1, h) * w);
    EXPECT_LE(quadturn::seam::PeakTrackedBytes() - before, static_cast<std::size_t>(rows))
        << w << "x" << h;
    EXPECT_EQ(I32At(FromBlock(block), 4), h);
    GlobalFree(block);
  }
}

}  // namespace
}  // namespace qt_test
