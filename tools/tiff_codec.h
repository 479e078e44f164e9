// libtiff as the TIFF road's codec: it reads the pages' directories and
// decodes their strips or tiles into a page, and encodes a turned page's
// strips or tiles with the page's own compression, predictor and fill order.
// The directories of the turned file are written by tiff_directory.h, not by
// libtiff. libtiff's messages are caught, never printed.
#ifndef QUADTURN_TOOLS_TIFF_CODEC_H
#define QUADTURN_TOOLS_TIFF_CODEC_H

#include <tiffio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "file_system.h"
#include "page.h"
#include "tiff_directory.h"

namespace quadturn::tool {

// A file as libtiff's client I/O sees it: the input, read by offsets or
// held whole in memory, or a page's strips growing in memory as libtiff
// encodes them.
struct ClientFile {
  const uint8_t* data = nullptr;  // reading from memory
  Input* input = nullptr;         // reading a file by offsets
  std::string* bytes = nullptr;   // writing
  uint64_t input_size = 0;        // reading
  uint64_t at = 0;
  std::string read_error;
  uint64_t Size() const { return bytes != nullptr ? bytes->size() : input_size; }
  const uint8_t* Bytes() const {
    return bytes != nullptr ? reinterpret_cast<const uint8_t*>(bytes->data()) : data;
  }
};

// The same input read by offsets for tiff_directory.h.
class ClientBytes : public TiffBytes {
 public:
  explicit ClientBytes(ClientFile* f) : f_(f) {}
  bool ReadAt(uint64_t offset, void* to, std::size_t n) override;
  uint64_t Size() const override { return f_->Size(); }

 private:
  ClientFile* f_;
};

// An open TIFF over a client file, closed with it. libtiff's first error
// since the last TakeError is kept: libtiff also reports what it merely
// skips (a tag it cannot read), so an error counts only where a call
// failed.
class Tiff {
 public:
  // `mode` as TIFFOpen's; reading does not cut strips into smaller ones.
  Tiff(ClientFile* file, const char* mode, uint64_t max_allocation);
  ~Tiff();
  Tiff(const Tiff&) = delete;
  Tiff& operator=(const Tiff&) = delete;
  std::string TakeError();

  TIFF* tif = nullptr;
  std::string error;
};

// The bits per pixel of the current page where the library can turn it
// without loss, or 0 with the reason.
int PagePixelBits(TIFF* tif, std::string* why);

// Whether the page's tiles are no larger than a tile for its size needs to
// be: a tile far larger than its page would take memory by its tags alone.
bool TilesFitPage(TIFF* tif, std::string* why);

// The current page's pixels into `page`; false where libtiff fails.
bool ReadPagePixels(TIFF* tif, const Page& page);

// The turned page's strips (of the rows per strip the page had, one strip
// staying one) or tiles (of the page's size), encoded as the page was and
// appended to `out`; their offsets and byte counts.
struct EncodedPieces {
  bool tiled = false;
  uint32_t rows_per_strip = 0;
  std::vector<uint64_t> offsets, byte_counts;
};
bool EncodePage(TIFF* in, const Page& page, const TiffShape& shape, TiffWriter* out,
                EncodedPieces* pieces, std::string* error);

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_TIFF_CODEC_H
