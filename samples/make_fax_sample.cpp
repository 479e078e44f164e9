// Writes the bundled sample fax: two pages of 1728 x 1100 pixels at 204 x 98
// dpi (a fax's "normal" resolution, whose pixels are twice as tall as they
// are wide), bilevel, CCITT Group 4, each with the sample chart's picture
// drawn large and as many bars below it as its page number.
#include <cstdint>
#include <cstdio>
#include <string>

#include "chart.h"
#include "fax_tiff.h"

namespace {

using namespace quadturn::samples;

constexpr uint32_t kPageWidth = 1728;
constexpr uint32_t kPageHeight = 1100;
constexpr int kPages = 2;

// Whether page `page` (from 1) is black at (x, y): the chart 16 pixels to
// one of its pixels across and 8 down (square when shown at 204 x 98 dpi),
// then the page's bars.
bool Black(int page, uint32_t x, uint32_t y) {
  constexpr uint32_t left = (kPageWidth - 16 * kWidth) / 2, top = 100;
  if (x >= left && x < left + 16 * kWidth && y >= top && y < top + 8 * kHeight) {
    return InkAt(static_cast<int>((x - left) / 16), static_cast<int>((y - top) / 8)) != kPaper;
  }
  const uint32_t bar = (x - left) / 96;
  return y >= 800 && y < 860 && x >= left && bar < static_cast<uint32_t>(page) &&
         (x - left) % 96 < 64;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = (argc > 1 ? std::string(argv[1]) : std::string(".")) + "/fax.tif";
  const FaxPages fax{kPageWidth, kPageHeight, 204.0, 98.0, kPages, "quadturn sample fax"};
  if (!WriteFaxTiff(path, fax, [](int page, uint32_t x, uint32_t y) {
        return Black(page + 1, x, y);
      })) {
    std::fprintf(stderr, "make_fax_sample: cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("%s\n", path.c_str());
  return 0;
}
