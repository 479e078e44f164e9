// BMP files to and from packed DIBs in movable blocks, turned by RotateFlip:
// the file header and the info header are read and checked first, then the
// rest of the file goes into the block (header, masks, table, rows with any
// gap before them closed, a V5 profile behind the rows). Files the library
// does not take as they are come into the block in a form it does and go
// back to their own when written: OS/2 headers (12 bytes, and 16 to 39)
// as a 40-byte one, run-length encoded rows decoded, 2-bit rows turned
// through RotateFlipPixels.
#ifndef QUADTURN_TOOLS_BMP_FILE_H
#define QUADTURN_TOOLS_BMP_FILE_H

#include <cstdint>
#include <string>

#include "bmp_rle.h"
#include "file_system.h"
#include "quadturn.h"

namespace quadturn::tool {

constexpr uint32_t kFileHeaderBytes = sizeof(BITMAPFILEHEADER);
constexpr WORD kBmSignature = 0x4D42;  // "BM"
static_assert(kFileHeaderBytes == 14, "the file header is packed, as on Windows");

// A BMP file's image as a packed DIB in a block, and how the file stored it.
class BmpImage {
 public:
  BmpImage() = default;
  ~BmpImage();
  BmpImage(const BmpImage&) = delete;
  BmpImage& operator=(const BmpImage&) = delete;

  // Reads a BMP file, reading no more than the header says the image
  // needs, and refusing rows of more than `max_page_bytes`. False with a
  // one-line reason (no file name) in `error`.
  bool Read(Input& in, uint64_t max_page_bytes, std::string* error);
  // Gives the image RotateFlip's `type`; the resolutions follow the axes
  // unless `keep_resolution`.
  bool Turn(int type, bool keep_resolution, std::string* error);
  // Writes the BMP file as the input stored it: its header's form, its
  // colour table's, its compression.
  bool Write(Output& out, std::string* error) const;
  // Pixels of damaged run-length data that lay outside the image.
  uint64_t DroppedPixels() const { return skipped_.dropped; }

 private:
  HGLOBAL dib_ = nullptr;
  uint32_t file_header_bytes_ = 0;  // 12 (OS/2 1.x), 16 to 39 (OS/2 2.x), or the DIB's
  DWORD compression_ = BI_RGB;      // BI_RLE4 or BI_RLE8 in the file; BI_RGB in the block
  SkippedPixels skipped_;           // run-length encoded images' skipped pixels
};

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_BMP_FILE_H
