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

// A PNG chunk as the file holds it (other than IHDR, IDAT and IEND), and
// whether it comes behind the image data.
struct RawChunk {
  std::string type;
  Bytes data;
  bool after_image = false;
  bool operator==(const RawChunk&) const = default;
};

// A classic TIFF directory entry as the file holds it, values in the file's
// byte order. An EXIF or GPS directory's pointer holds that directory's
// entries in `sub` instead of a value.
struct RawTag {
  uint16_t tag = 0, type = 0;
  uint32_t count = 0;
  Bytes value;
  std::vector<RawTag> sub{};
  bool operator==(const RawTag&) const = default;
};

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
  int sample_format = 1;    // TIFF: 1 unsigned, 2 signed, 3 floating point
  int sub_h = 1, sub_v = 1; // TIFF YCbCr: chroma subsampling
  bool big_endian = false;  // TIFF
  int orientation = 1;      // TIFF: the Orientation tag
  float x_res = 0, y_res = 0;  // dots per inch; PNG pHYs is per metre
  std::string text{};       // TIFF ImageDescription, PNG tEXt "Comment"
  Bytes profile{};          // TIFF ICCProfile, PNG iCCP
  // Written into the file as they are (TIFF: into every page, in place of
  // libtiff's own); read back, every one the file has (TIFF: the first
  // page's).
  std::vector<RawChunk> chunks{};  // PNG
  std::vector<RawTag> tags{};      // TIFF
  uint32_t rows_per_strip = 0;     // TIFF strips: 0 for libtiff's choice
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

// An animation frame: a picture at its place on the canvas.
struct Frame {
  Picture picture;
  uint32_t x = 0, y = 0;
};

// An animated PNG: `image` is its first frame, `frames` follow, each
// frame's data split over two fdAT chunks. And the frames behind the image
// of an animated PNG, each decoded with its place; false where the
// sequence numbers do not count up from 0 in the file's order.
Bytes WriteAnimatedPng(const Layout& layout, const Picture& image, const std::vector<Frame>& frames);
bool ReadPngFrames(const Bytes& file, std::vector<Frame>* frames, std::string* error);

// The picture given RotateFlip's `type` (0-3: quarter turns clockwise),
// one pixel at a time.
Picture Turned(const Picture& p, int bits, int type);

// The picture as a viewer shows it under a TIFF or EXIF orientation (1-8),
// one pixel at a time.
Picture Oriented(const Picture& p, int bits, int orientation);

// EXIF data holding an orientation and, in its Exif IFD, pixel dimensions
// of the given types (3 SHORT, 4 LONG); big-endian where asked; a JPEG
// thumbnail in IFD1 where one is given.
Bytes Exif(int orientation, uint32_t pixel_x, uint32_t pixel_y, uint16_t type = 4,
           bool big_endian = false, const Bytes& thumbnail = {});

}  // namespace quadturn::test

#endif  // QUADTURN_TESTS_TIFF_PNG_FILES_H
