// One plane of an image's pixels as the tool turns it: rows of any number of
// bits per pixel, packed with no padding (a row's last byte's unused bits
// zero), top row first, in memory that holds the plane either way round. A
// page of a file is one plane, or one per sample (TIFF's separate planes) or
// per component (YCbCr's luma and subsampled chroma). Pixels are opaque: a
// turn moves whole pixels and never looks inside one.
#ifndef QUADTURN_TOOLS_PLANE_H
#define QUADTURN_TOOLS_PLANE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quadturn::tool {

class Plane {
 public:
  // A plane of width x height pixels of `bits` each (1 or more), its rows
  // ready to fill. False with a reason when it is too large for the library
  // or for this process's memory.
  bool Make(uint32_t width, uint32_t height, int bits, std::string* error);
  // Gives it RotateFlip's `type` in place through RotateFlipPixels; width and
  // height then are the turned ones. Pixels of a size the library does not
  // take (12 bits, 36, or more than 32 bytes) go through whole bytes.
  bool Turn(int type, std::string* error);

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  int bits() const { return bits_; }
  // Bytes of a row, the last byte's unused bits included; rows follow one
  // another with no gap.
  std::size_t row_bytes() const { return BytesOf(width_); }
  uint64_t bytes() const { return uint64_t{row_bytes()} * height_; }
  // Row y, the top row first, and the byte of pixel x in it (x pixels must
  // end on a byte).
  uint8_t* Row(uint32_t y) const { return rows_.get() + std::size_t{y} * row_bytes(); }
  uint8_t* At(uint32_t y, uint32_t x) const { return Row(y) + uint64_t{x} * bits_ / 8; }
  // Bytes of `pixels` pixels, a last partial byte included.
  std::size_t BytesOf(uint32_t pixels) const {
    return static_cast<std::size_t>((uint64_t{pixels} * bits_ + 7) / 8);
  }

 private:
  bool TurnThroughBytes(int type, std::string* error);
  void ClearRowEnds();

  std::unique_ptr<uint8_t[]> rows_;
  uint32_t width_ = 0, height_ = 0;
  int bits_ = 0;
};

// Whether RotateFlipPixels takes pixels of `bits` as they are.
inline bool LibraryPixelSize(int bits) {
  return bits == 1 || bits == 2 || bits == 4 || (bits % 8 == 0 && bits >= 8 && bits <= 256);
}

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_PLANE_H
