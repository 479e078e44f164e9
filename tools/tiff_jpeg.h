// A JPEG-compressed TIFF page (compression 7) turned without decoding:
// every strip's or tile's stream is read with the page's JPEGTables into the
// DCT blocks of the whole page, the blocks are turned, and the turned page
// is cut into strips or tiles of its layout again, each encoded (entropy
// coding only) with the page's tables, turned too where the axes exchange.
#ifndef QUADTURN_TOOLS_TIFF_JPEG_H
#define QUADTURN_TOOLS_TIFF_JPEG_H

#include <cstdint>
#include <string>
#include <vector>

namespace quadturn::tool {

// What a page's directory says of its JPEG layout, and its pieces' bytes.
struct JpegTiffPage {
  uint32_t width = 0, height = 0;
  bool tiled = false;
  uint32_t tile_width = 0, tile_length = 0;  // tiled
  uint32_t rows_per_strip = 0;               // in strips
  bool ycbcr = false;                        // YCbCr: its subsampling tag must stay valid
  std::string tables;                        // JPEGTables, or none
  std::vector<std::string> pieces;           // strips or tiles, in the file's order
};

struct TurnedJpegTiffPage {
  uint32_t width = 0, height = 0;
  uint32_t rows_per_strip = 0;  // in strips
  std::string tables;
  std::vector<std::string> pieces;
  uint64_t trimmed_pixels = 0;  // dropped with trim
};

// The page given RotateFlip's `type`; with `trim`, partial blocks at an edge
// the turn moves are dropped rather than the page refused. At most
// `max_page_bytes` of blocks are held. False with the reason.
bool TurnJpegTiffPage(const JpegTiffPage& page, int type, bool trim, uint64_t max_page_bytes,
                      TurnedJpegTiffPage* turned, std::string* error);

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_TIFF_JPEG_H
