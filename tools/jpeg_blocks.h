// The DCT blocks of a JPEG-compressed TIFF page, for turning it without
// decoding: each strip's or tile's stream, made whole with the page's
// tables, is read into one set of blocks for the whole page (libjpeg's
// coefficient interface); the blocks are given the turn (which block goes
// where, and inside each which coefficients trade places or change sign);
// and the turned page is cut into strips or tiles again, each encoded
// (entropy coding only) with the page's tables.
#ifndef QUADTURN_TOOLS_JPEG_BLOCKS_H
#define QUADTURN_TOOLS_JPEG_BLOCKS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quadturn::tool {

struct JpegPage {
  struct Component {
    int id = 0, h = 1, v = 1, table = 0;
    uint32_t blocks_wide = 0, blocks_high = 0;
    std::vector<int16_t> coefficients;  // 64 a block, natural order, rows of blocks
  };
  // The pixels the blocks cover: the page's, or its tiles' (padding too).
  uint32_t width = 0, height = 0;
  int max_h = 1, max_v = 1;
  int colour_space = 0;  // libjpeg's J_COLOR_SPACE of the stream
  std::vector<Component> components;
  uint16_t tables[4][64] = {};
  bool has_table[4] = {};
  // The blocks of a 8 x 8 pixel MCU at most sampling 1: MCU size in pixels.
  uint32_t McuWidth() const { return 8u * static_cast<uint32_t>(max_h); }
  uint32_t McuHeight() const { return 8u * static_cast<uint32_t>(max_v); }
};

// Reads one piece of `frame_width` x `frame_height` pixels (its stream
// made whole by `tables`, a tables-only stream, which may be empty) into
// the page at pixel (x, y). The first piece read sets the page's
// components, sampling and tables, and the page is made `width` x `height`
// pixels; the others must agree. False with the reason.
bool ReadJpegPiece(const std::string& tables, const uint8_t* piece, std::size_t n, uint32_t x,
                   uint32_t y, uint32_t frame_width, uint32_t frame_height, uint32_t width,
                   uint32_t height, JpegPage* page, std::string* error);

// The page's first `width` x `height` pixels given RotateFlip's `type`:
// the blocks moved, each transformed, the sampling factors and tables
// transposed where the axes exchange.
JpegPage TurnJpegBlocks(const JpegPage& page, int type, uint32_t width, uint32_t height);

// A tables-only stream of the page's quantization tables and the standard
// Huffman tables the pieces are written with.
bool WriteJpegTables(const JpegPage& page, std::string* out, std::string* error);

// The piece of w x h pixels at (x, y), without tables; blocks outside the
// page are written as zeros (a tile's padding).
bool WriteJpegPiece(const JpegPage& page, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                    std::string* out, std::string* error);

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_JPEG_BLOCKS_H
