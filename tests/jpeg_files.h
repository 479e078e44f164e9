// JPEG files for the tool's tests, written with libjpeg and read back as
// their quantized DCT blocks, and the oracle of a lossless turn at the level
// of blocks: which block goes where, and which coefficients change sign or
// trade places inside it.
#ifndef QUADTURN_TESTS_JPEG_FILES_H
#define QUADTURN_TESTS_JPEG_FILES_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "test_images.h"

namespace quadturn::test {

// How a test JPEG is made. Markers go in as given (APPn or COM), after the
// JFIF segment where there is one.
struct JpegLayout {
  uint32_t width = 32, height = 16;
  int components = 3;          // 1 grey, 3 YCbCr, 4 CMYK
  int h = 2, v = 2;            // the first component's sampling factors
  bool progressive = false;
  int restart_interval = 0;    // MCUs between restart markers
  bool jfif = true;
  uint16_t x_density = 300, y_density = 150;  // JFIF, dots per inch
  std::vector<std::pair<int, Bytes>> markers{};
};

// What the tests look at in a JPEG: its frame, its markers and each
// component's blocks (64 quantized coefficients each, in natural order).
struct JpegBlocks {
  uint32_t width = 0, height = 0;
  bool progressive = false;
  bool jfif = false;
  uint16_t x_density = 0, y_density = 0;
  std::vector<std::pair<int, Bytes>> markers;  // every APPn but JFIF, and COM
  int max_h = 1, max_v = 1;                    // sampling factors (1 for grey)
  struct Component {
    int h = 1, v = 1;
    uint32_t blocks_wide = 0, blocks_high = 0;
    std::vector<int16_t> coefficients;
    bool operator==(const Component&) const = default;
  };
  std::vector<Component> components;
};

// A JPEG of smooth random content (so that blocks carry many coefficients).
Bytes WriteJpeg(const JpegLayout& layout, Rng& rng);

// The blocks of a JPEG-compressed TIFF's first page: each strip's or tile's
// stream, made whole with the page's JPEGTables, read and put in its place.
bool ReadTiffJpegBlocks(const Bytes& tiff, JpegBlocks* page, std::string* error);

// Reads a JPEG's blocks and markers; false with a reason.
bool ReadJpegBlocks(const Bytes& file, JpegBlocks* blocks, std::string* error);

// The blocks RotateFlip's `type` must leave, from `in` cut to `width` x
// `height` pixels (as given: a trimmed turn drops the partial blocks at the
// edges it moves), one coefficient at a time: an axis the turn reverses
// makes the odd frequencies along it change sign, and an exchange of the
// axes transposes each block.
JpegBlocks TurnedBlocks(const JpegBlocks& in, int type, uint32_t width, uint32_t height);

}  // namespace quadturn::test

#endif  // QUADTURN_TESTS_JPEG_FILES_H
