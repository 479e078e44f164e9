// One image of a TIFF or PNG file as the library takes it: a top-down
// packed DIB in a movable block whose rows hold the file's pixels as they
// are. Samples stay in the file's order (RGB, RGBA, grey and alpha): a turn
// moves whole pixels and never looks inside one, and the colour table is
// left empty since only the file's own palette is written back.
#ifndef QUADTURN_TOOLS_PAGE_H
#define QUADTURN_TOOLS_PAGE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "quadturn.h"

namespace quadturn::tool {

class Page {
 public:
  Page() = default;
  ~Page();
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  // A page of width x height pixels of `bits` each (1, 4, 8, 16, 24 or 32),
  // locked, its rows ready to fill. False with a reason
  // when it is too large for the library or for this process's memory.
  bool Make(uint32_t width, uint32_t height, int bits, std::string* error);
  // Gives it RotateFlip's `type` (the block is unlocked meanwhile) and locks
  // it again; width and height then are the turned ones.
  bool Turn(int type, std::string* error);

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  int bits() const { return bits_; }
  // Bytes of a row's pixels, the last byte's unused bits included.
  std::size_t row_bytes() const { return BytesOf(width_); }
  // Bytes from one row to the next.
  std::ptrdiff_t stride() const { return stride_; }
  // Row y, the top row first, and the byte of pixel x in it (x a whole
  // byte's worth of pixels in).
  uint8_t* Row(uint32_t y) const { return rows_ + static_cast<std::ptrdiff_t>(y) * stride_; }
  uint8_t* At(uint32_t y, uint32_t x) const { return Row(y) + uint64_t{x} * bits_ / 8; }
  // Bytes of `pixels` pixels, a last partial byte included.
  std::size_t BytesOf(uint32_t pixels) const { return (std::size_t{pixels} * bits_ + 7) / 8; }

 private:
  bool Lock(std::string* error);

  HGLOBAL h_ = nullptr;
  uint8_t* rows_ = nullptr;
  std::ptrdiff_t stride_ = 0;
  uint32_t width_ = 0, height_ = 0;
  int bits_ = 0;
};

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_PAGE_H
