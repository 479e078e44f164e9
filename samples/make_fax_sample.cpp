// Writes the bundled sample fax: two pages of 1728 x 1100 pixels at 204 x 98
// dpi (a fax's "normal" resolution, whose pixels are twice as tall as they
// are wide), bilevel, CCITT Group 4, each with the sample chart's picture
// drawn large and as many bars below it as its page number.
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "chart.h"

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
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return 1;
  std::vector<uint8_t> row(kPageWidth / 8);
  bool ok = true;
  for (int page = 1; page <= kPages && ok; ++page) {
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kPageWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kPageHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kPageHeight);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 204.0);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 98.0);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, page - 1, kPages);
    TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, "quadturn sample fax");
    for (uint32_t y = 0; y < kPageHeight && ok; ++y) {
      for (uint32_t x = 0; x < kPageWidth; x += 8) {
        uint8_t byte = 0;
        for (uint32_t b = 0; b < 8; ++b) byte |= Black(page, x + b, y) ? 0x80 >> b : 0;
        row[x / 8] = byte;
      }
      ok = TIFFWriteScanline(tif, row.data(), y, 0) >= 0;
    }
    ok = ok && TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  if (!ok) {
    std::fprintf(stderr, "make_fax_sample: cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("%s\n", path.c_str());
  return 0;
}
