// Run-length encoded BMP pixels (BI_RLE8 at 8 bits, BI_RLE4 at 4), decoded
// into the rows of a packed DIB and encoded again from them. Pixels the
// data skips (by a delta, or by ending a line or the image early) are kept
// as skipped in a mask, so that they are skipped again after a turn: a
// viewer shows them as the background, not as colour 0.
#ifndef QUADTURN_TOOLS_BMP_RLE_H
#define QUADTURN_TOOLS_BMP_RLE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quadturn::tool {

// Which pixels an image's data skips: a bit per pixel, rows of (width + 7)
// / 8 bytes in the order of the image's stored rows, a 1 for a skipped
// pixel (most significant bit first).
struct SkippedPixels {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> bits;
  bool any = false;
  uint64_t dropped = 0;  // pixels the data put past a row's end or the last row
  std::size_t RowBytes() const { return (std::size_t{width} + 7) / 8; }
  bool At(uint32_t x, uint32_t y) const {
    return (bits[y * RowBytes() + x / 8] >> (7 - x % 8)) & 1;
  }
};

// Decodes `n` bytes of RLE data at `bits` (4 or 8) per pixel into `height`
// stored rows of `width` pixels, `stride` bytes apart (skipped pixels are
// 0). Pixels past a row's end or past the last row are dropped, as readers
// do, and counted. Fills `skipped`.
void DecodeRle(const uint8_t* data, std::size_t n, int bits, uint32_t width, uint32_t height,
               uint8_t* rows, std::size_t stride, SkippedPixels* skipped);

// The RLE data of those rows, the pixels `skipped` names (when any) skipped
// again; every line ends with an end of line, the last with the end of the
// image.
std::string EncodeRle(const uint8_t* rows, std::size_t stride, int bits, uint32_t width,
                      uint32_t height, const SkippedPixels& skipped);

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_BMP_RLE_H
