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
#include "plane.h"
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

// How the current page's pixels lie in its strips or tiles, and the planes
// the tool turns them as: one plane of whole pixels (samples together), one
// per sample (separate planes), or, for YCbCr subsampled h x v, a luma plane
// padded to whole data units and the two chroma planes of one sample a unit.
struct PixelLayout {
  uint32_t width = 0, height = 0;
  int bits_per_sample = 0, samples = 0;
  bool separate = false;
  int sub_h = 1, sub_v = 1;  // YCbCr data units; 1 x 1 for none
  bool tiled = false;
  uint32_t tile_width = 0, tile_length = 0;  // tiled
  uint32_t rows_per_strip = 0;               // in strips
  bool Subsampled() const { return sub_h * sub_v > 1; }
  // The planes: how many, and each one's size and bits per pixel.
  int PlaneCount() const { return Subsampled() ? 3 : separate ? samples : 1; }
  uint32_t PlaneWidth(int plane) const;
  uint32_t PlaneHeight(int plane) const;
  int PlaneBits() const { return separate || Subsampled() ? bits_per_sample : bits_per_sample * samples; }
  // Decoded bytes of all planes.
  uint64_t Bytes() const;
  // The same page given RotateFlip's `type`: width and height exchanged
  // for 1, 3, 5 and 7.
  PixelLayout Turned(int type) const;
};

// The current page's layout where the tool can turn it without loss, or
// false with the reason.
bool ReadPixelLayout(TIFF* tif, PixelLayout* layout, std::string* why);

// Whether giving such a page `type` keeps every pixel; false with the reason
// where subsampled chroma would no longer match its luma (an edge data unit
// only partly inside the page would move to the other side, or a quarter
// turn would make a vertical factor exceed the horizontal one).
bool TurnKeepsEveryPixel(const PixelLayout& layout, int type, std::string* why);

// Whether the page's tiles are no larger than a tile for its size needs to
// be: a tile far larger than its page would take memory by its tags alone.
bool TilesFitPage(TIFF* tif, std::string* why);

// The current page's pixels into planes made for `layout`; false where
// libtiff fails.
bool ReadPagePixels(TIFF* tif, const PixelLayout& layout, std::vector<Plane>& planes);

// The turned page's strips (of the rows per strip the page had, one strip
// staying one) or tiles (of the page's size), encoded as the page was and
// appended to `out`; their offsets and byte counts. `turned` is the page's
// layout after the turn, `planes` its turned pixels (libtiff may change
// their bytes as it encodes).
struct EncodedPieces {
  bool tiled = false;
  uint32_t rows_per_strip = 0;
  std::vector<uint64_t> offsets, byte_counts;
};
bool EncodePage(TIFF* in, const PixelLayout& turned, std::vector<Plane>& planes,
                const TiffShape& shape, TiffWriter* out, EncodedPieces* pieces,
                std::string* error);

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_TIFF_CODEC_H
