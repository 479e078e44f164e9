// JPEG-compressed TIFF pages turned at the level of their DCT blocks.
#include "tiff_jpeg.h"

#include <algorithm>

#include "jpeg_blocks.h"

namespace quadturn::tool {
namespace {

uint32_t RoundUp(uint32_t n, uint32_t d) { return static_cast<uint32_t>((uint64_t{n} + d - 1) / d * d); }

// Calls visit(x, y, w, h) for each piece of a layout in the file's order:
// tiles of tw x tl (their frames whole), or strips of `rows` rows (the last
// one as high as the rows left).
template <typename Visit>
bool ForEachPiece(uint32_t width, uint32_t height, bool tiled, uint32_t tw, uint32_t tl,
                  uint32_t rows, Visit visit) {
  if (tiled) {
    for (uint32_t y = 0; y < height; y += tl) {
      for (uint32_t x = 0; x < width; x += tw) {
        if (!visit(x, y, tw, tl)) return false;
        if (width - x <= tw) break;
      }
      if (height - y <= tl) break;
    }
    return true;
  }
  for (uint32_t y = 0; y < height; y += rows) {
    if (!visit(0u, y, width, std::min(rows, height - y))) return false;
    if (height - y <= rows) break;
  }
  return true;
}

const char kByTag[] = "; -t records the turn in its Orientation tag";

// The blocks of every strip or tile of the page.
bool ReadPage(const JpegTiffPage& in, uint64_t max_page_bytes, JpegPage* page,
              std::string* error) {
  if (in.width == 0 || in.height == 0 ||
      (in.tiled ? in.tile_width == 0 || in.tile_length == 0 : in.rows_per_strip == 0)) {
    *error = "damaged: a JPEG page of " + std::to_string(in.width) + " x " +
             std::to_string(in.height) + " pixels without strips or tiles";
    return false;
  }
  // The pixels the pieces' frames cover: whole tiles, or the page.
  const uint32_t covered_w = in.tiled ? RoundUp(in.width, in.tile_width) : in.width;
  const uint32_t covered_h = in.tiled ? RoundUp(in.height, in.tile_length) : in.height;
  // Blocks take 128 bytes for 64 samples: twice the samples.
  if (uint64_t{covered_w} * covered_h * 2 * 4 > max_page_bytes) {
    *error = "too large: a JPEG page of " + std::to_string(in.width) + " x " +
             std::to_string(in.height) + " pixels takes more than the " +
             std::to_string(max_page_bytes) + " bytes allowed (--max-page-bytes sets the limit)";
    return false;
  }
  std::size_t k = 0;
  return ForEachPiece(
      covered_w, covered_h, in.tiled, in.tile_width, in.tile_length, in.rows_per_strip,
      [&](uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
        if (k >= in.pieces.size()) {
          *error = "damaged: fewer strips or tiles than its size needs";
          return false;
        }
        const std::string& piece = in.pieces[k++];
        if (!ReadJpegPiece(in.tables, reinterpret_cast<const uint8_t*>(piece.data()),
                           piece.size(), x, y, w, h, covered_w, covered_h, page, error)) {
          *error = "damaged (a JPEG " + std::string(in.tiled ? "tile" : "strip") + ": " +
                   *error + ")";
          return false;
        }
        return true;
      });
}

// The part of the page that turns: partial blocks at an edge the turn
// moves cannot move (as for JPEG files), and are dropped with `trim`;
// chroma subsampled unequally cannot be stated turned.
bool KeptArea(const JpegTiffPage& in, const JpegPage& page, int type, bool trim, uint32_t* w,
              uint32_t* h, std::string* error) {
  const uint32_t mcu_w = page.McuWidth(), mcu_h = page.McuHeight();
  if ((type & 1) != 0 && in.ycbcr && page.max_h != page.max_v) {
    *error = "not supported: YCbCr subsampled " + std::to_string(page.max_h) + " x " +
             std::to_string(page.max_v) + " cannot be turned a quarter turn or transposed (a TIFF "
             "cannot state the turned subsampling)" + kByTag;
    return false;
  }
  const bool moves_x = type == 2 || type == 3 || type == 4 || type == 7;
  const bool moves_y = type == 1 || type == 2 || type == 6 || type == 7;
  const uint32_t extra_x = moves_x ? in.width % mcu_w : 0, extra_y = moves_y ? in.height % mcu_h : 0;
  if ((extra_x != 0 || extra_y != 0) && (!trim || extra_x == in.width || extra_y == in.height)) {
    const bool across = extra_x != 0;
    *error = "not supported without loss: its " + std::string(across ? "width" : "height") +
             " of " + std::to_string(across ? in.width : in.height) +
             " pixels is not whole JPEG blocks of " + std::to_string(across ? mcu_w : mcu_h) +
             ", and turned this way the partial blocks at its " + (across ? "right" : "bottom") +
             " edge would have to move; " +
             (trim ? std::string("nothing would be left") : "--trim drops them") + kByTag;
    return false;
  }
  *w = in.width - extra_x;
  *h = in.height - extra_y;
  return true;
}

// The turned blocks in the page's layout again: tiles of the same size
// (whole blocks of the turned sampling), or strips of the rows the page had
// (one staying one), in whole blocks.
bool WritePage(const JpegTiffPage& in, const JpegPage& turned, TurnedJpegTiffPage* out,
               std::string* error) {
  const uint32_t turned_mcu_w = turned.McuWidth(), turned_mcu_h = turned.McuHeight();
  if (in.tiled && (in.tile_width % turned_mcu_w != 0 || in.tile_length % turned_mcu_h != 0)) {
    *error = "not supported: tiles of " + std::to_string(in.tile_width) + " x " +
             std::to_string(in.tile_length) + " are not whole JPEG blocks once turned" + kByTag;
    return false;
  }
  const bool one_strip = !in.tiled && in.rows_per_strip >= in.height;
  out->rows_per_strip =
      in.tiled ? 0
               : one_strip ? out->height
                           : std::min(RoundUp(in.rows_per_strip, turned_mcu_h), out->height);
  if (!WriteJpegTables(turned, &out->tables, error)) return false;
  const uint32_t tiles_w = in.tiled ? RoundUp(out->width, in.tile_width) : out->width;
  const uint32_t tiles_h = in.tiled ? RoundUp(out->height, in.tile_length) : out->height;
  return ForEachPiece(tiles_w, tiles_h, in.tiled, in.tile_width, in.tile_length,
                      out->rows_per_strip, [&](uint32_t x, uint32_t y, uint32_t pw, uint32_t ph) {
                        out->pieces.emplace_back();
                        return WriteJpegPiece(turned, x, y, pw, ph, &out->pieces.back(), error);
                      });
}

}  // namespace

bool TurnJpegTiffPage(const JpegTiffPage& in, int type, bool trim, uint64_t max_page_bytes,
                      TurnedJpegTiffPage* out, std::string* error) {
  JpegPage page;
  uint32_t w = 0, h = 0;
  if (!ReadPage(in, max_page_bytes, &page, error) ||
      !KeptArea(in, page, type, trim, &w, &h, error)) {
    return false;
  }
  out->trimmed_pixels = uint64_t{in.width} * in.height - uint64_t{w} * h;
  const JpegPage turned = TurnJpegBlocks(page, type, w, h);
  out->width = turned.width;
  out->height = turned.height;
  return WritePage(in, turned, out, error);
}

}  // namespace quadturn::tool
