// How much working memory a turn holds at once, read from the stand-in
// service's peak tracker.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "standin_seam.h"
#include "test_images.h"

namespace quadturn::test {
namespace {

// A quarter turn of any shape moves the pixels inside the caller's block:
// the working blocks it holds at any moment stay within 2% of the image plus
// 2 MiB, and never pass the image's own rows (in whichever orientation pads
// more). The large images (8 MB and more) are ones a second copy of would
// not fit; the small ones have strips as large as their chunks. Odd sides,
// so that every turn has strips beside its chunks, both ways round; the
// general entry reaches every depth.
TEST(Memory, QuarterTurnsNeedNoSecondImage) {
  struct Case {
    int bits;
    int32_t width, height;
  };
  const Case kCases[] = {{1, 9001, 7001}, {4, 4001, 4999}, {8, 3001, 2999},
                         {16, 2999, 2001}, {24, 2999, 2001}, {32, 2999, 2001},
                         {1, 1000, 700},   {1, 333, 333},    {8, 70, 33}};
  for (const Case& c : kCases) {
    for (auto [w, h] : {std::pair{c.width, c.height}, std::pair{c.height, c.width}}) {
      Rng rng(12);
      const Bytes dib = MakeDib({.bits = c.bits, .width = w, .height = h}, rng);
      HGLOBAL block = ToBlock(dib);
      quadturn::seam::TrackPeakBytes(block);
      const std::size_t before = quadturn::seam::PeakTrackedBytes();
      ASSERT_TRUE(RotateQuarterTurns(block, 1));
      const std::size_t image = static_cast<std::size_t>(StrideOf(c.bits, w)) * h;
      const std::size_t turned = static_cast<std::size_t>(StrideOf(c.bits, h)) * w;
      const std::size_t peak = quadturn::seam::PeakTrackedBytes() - before;
      EXPECT_LE(peak, image / 50 + (2u << 20)) << c.bits << "-bit " << w << "x" << h;
      EXPECT_LE(peak, std::max(image, turned)) << c.bits << "-bit " << w << "x" << h;
      EXPECT_EQ(I32At(FromBlock(block), 4), h);
      GlobalFree(block);
    }
  }
}

}  // namespace
}  // namespace quadturn::test
