// TIFF and PNG files for the tool's tests, written and read back with
// libtiff and libspng directly: pages of byte-packed rows and the few things
// about a file the tool must keep or change.
#ifndef QUADTURN_TESTS_TIFF_PNG_FILES_H
#define QUADTURN_TESTS_TIFF_PNG_FILES_H

#include <cstdint>
#include <string>
#include <vector>

#include "test_images.h"

namespace quadturn::test {

enum class Container { kTiff, kPng };

// How a file's pages are stored. For TIFF, `colour` is the photometric
// interpretation and `compression` the TIFF compression; for PNG, `colour`
// is the colour type and `compression` is 1 for an interlaced file.
struct Layout {
  Container container = Container::kTiff;
  int colour = 1;
  int bits_per_sample = 8;
  int samples = 1;
  int compression = 1;
  int predictor = 1;        // TIFF
  uint32_t tile = 0;        // TIFF: tile side, 0 for strips
  bool planar = false;      // TIFF: separate planes
  int orientation = 1;      // TIFF: the Orientation tag
  float x_res = 0, y_res = 0;  // dots per inch; PNG pHYs is per metre
  std::string text{};       // TIFF ImageDescription, PNG tEXt "Comment"
  Bytes profile{};          // TIFF ICCProfile, PNG iCCP
  int BitsPerPixel() const { return bits_per_sample * samples; }
};

struct Picture {
  uint32_t width = 0, height = 0;
  Bytes rows;  // top row first, (width * bits + 7) / 8 bytes each
};

// Random pictures of the layout's pixels.
std::vector<Picture> RandomPictures(const Layout& layout, uint32_t width, uint32_t height,
                                    int pages, Rng& rng);

// A file of these pages (TIFF: one directory per page with a colour map
// where the layout is a palette; PNG: the first page only, with a palette,
// a tRNS chunk and pHYs).
Bytes WriteImageFile(const Layout& layout, const std::vector<Picture>& pages);

// Reads a file back: its layout (as far as Layout says) and pages; false
// with a reason in `error`.
bool ReadImageFile(const Bytes& file, Layout* layout, std::vector<Picture>* pages,
                   std::string* error);

// The picture turned `quarters` quarter turns clockwise, one pixel at a time.
Picture Turned(const Picture& p, int bits, int quarters);

}  // namespace quadturn::test

#endif  // QUADTURN_TESTS_TIFF_PNG_FILES_H
