// Bilevel fax pages written with libtiff, as fax software stores them:
// CCITT Group 4, min-is-white, one strip a page, page numbers, resolution in
// dots per inch. For the sample fax and the benchmark's fax.
#ifndef QUADTURN_SAMPLES_FAX_TIFF_H
#define QUADTURN_SAMPLES_FAX_TIFF_H

#include <tiffio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quadturn::samples {

struct FaxPages {
  uint32_t width, height;
  double x_dpi, y_dpi;
  int pages;
  const char* description;  // or null
};

// Writes the pages to `path`; black(page, x, y) says where the ink is, pages
// counted from 0.
template <typename Black>
bool WriteFaxTiff(const std::string& path, const FaxPages& f, Black black) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return false;
  std::vector<uint8_t> row((f.width + 7) / 8);
  bool ok = true;
  for (int page = 0; page < f.pages && ok; ++page) {
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, f.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, f.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, f.height);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, f.x_dpi);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, f.y_dpi);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, page, f.pages);
    if (f.description != nullptr) TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, f.description);
    for (uint32_t y = 0; y < f.height && ok; ++y) {
      for (uint32_t x = 0; x < f.width; x += 8) {
        uint8_t byte = 0;
        for (uint32_t b = 0; b < 8 && x + b < f.width; ++b) {
          if (black(page, x + b, y)) byte |= static_cast<uint8_t>(0x80 >> b);
        }
        row[x / 8] = byte;
      }
      ok = TIFFWriteScanline(tif, row.data(), y, 0) >= 0;
    }
    ok = ok && TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  return ok;
}

}  // namespace quadturn::samples

#endif  // QUADTURN_SAMPLES_FAX_TIFF_H
