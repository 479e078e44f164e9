// How much working memory a turn holds at once, read from the stand-in
// service's peak tracker.
#include <gtest/gtest.h>

#include <utility>

#include "standin_seam.h"
#include "test_images.h"

namespace quadturn::test {
namespace {

// A quarter turn of any shape moves the pixels inside the caller's block:
// the working blocks it holds at any moment stay within 2% of the image plus
// 2 MiB. The images are large enough (8 MB and more) that a second copy of
// them would not fit, with odd sides so that every turn has strips beside
// its chunks, both ways round; the general entry reaches every depth.
TEST(Memory, QuarterTurnsNeedNoSecondImage) {
  struct Case {
    int bits;
    int32_t width, height;
  };
  const Case kCases[] = {{1, 9001, 7001}, {4, 4001, 4999}, {8, 3001, 2999},
                         {16, 2999, 2001}, {24, 2999, 2001}, {32, 2999, 2001}};
  for (const Case& c : kCases) {
    for (auto [w, h] : {std::pair{c.width, c.height}, std::pair{c.height, c.width}}) {
      Rng rng(12);
      const Bytes dib = MakeGeneralDib({.bits = c.bits, .width = w, .height = h}, rng);
      HGLOBAL block = ToBlock(dib);
      quadturn::seam::TrackPeakBytes(block);
      const std::size_t before = quadturn::seam::PeakTrackedBytes();
      ASSERT_TRUE(RotateQuarterTurns(block, 1));
      const std::size_t image = static_cast<std::size_t>(StrideOf(c.bits, w)) * h;
      EXPECT_LE(quadturn::seam::PeakTrackedBytes() - before, image / 50 + (2u << 20))
          << c.bits << "-bit " << w << "x" << h;
      EXPECT_EQ(I32At(FromBlock(block), 4), h);
      GlobalFree(block);
    }
  }
}

}  // namespace
}  // namespace quadturn::test
