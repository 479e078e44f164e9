// An image file turned as a whole: its format recognised by its first
// bytes, every image in it turned through the library, and the turned file
// held until it is written out in the same format.
#ifndef QUADTURN_TOOLS_IMAGE_FILE_H
#define QUADTURN_TOOLS_IMAGE_FILE_H

#include <memory>
#include <string>
#include <vector>

#include "file_system.h"
#include "quadturn.h"

namespace quadturn::tool {

// A page's decoded bytes above this are refused unless the user allows
// more (--max-page-bytes): an A0 page at 600 dpi in grey is 0.52 GiB.
constexpr uint64_t kDefaultMaxPageBytes = uint64_t{1} << 30;

// What is done to each image: RotateFlip's `type` as the image is displayed
// (or, `upright`, what its orientation tag asks for), whether the horizontal
// and vertical resolution stay as they are, whether a TIFF page records the
// change in its Orientation tag instead of moving pixels, and the most
// decoded bytes one page may take.
struct Turning {
  int type = QUADTURN_RIGHT;
  bool upright = false;
  bool keep_resolution = false;
  bool orientation_tag = false;
  uint64_t max_page_bytes = kDefaultMaxPageBytes;
  // JPEG: drop the partial blocks at an edge the turn would have to move.
  bool trim = false;
  // The type the stored pixels take under orientation tag `orientation`
  // (1 where a format has none): a viewer applies the tag after the stored
  // pixels, so what shows as `type` is the tag's own undone, `type`, and the
  // tag again; upright, the tag's.
  int StoredType(int orientation) const;
  // The orientation tag afterwards: the same (1 after upright), or with -t
  // the change recorded in it.
  int TagAfter(int orientation) const;
  // Whether the resolutions exchange for pixels given `stored_type`.
  bool ExchangesResolutions(int stored_type) const {
    return (stored_type & 1) != 0 && !keep_resolution;
  }
};

// Why a page of this many decoded bytes is refused under `limit`, or ""
// when it is not.
std::string PageOverLimit(uint64_t bytes, uint64_t limit);

// A file turned and held in memory, ready to be written: its format's
// name ("BMP", "TIFF", "PNG", "JPEG"), what the user is to be told about it
// (something of the file that could not be kept), and whether nothing
// changed (upright, every page already was): then the file as it is is the
// result, and what was made here is not written.
class TurnedFile {
 public:
  virtual ~TurnedFile() = default;
  virtual bool WriteTo(Output& out, std::string* error) = 0;
  std::string format;
  std::vector<std::string> notes;
  bool unchanged = false;
};

// Reads the file, recognised by content (BMP, TIFF, PNG or JPEG), and turns every
// image in it. Null with a one-line reason when any image cannot be turned:
// nothing of the file is then to be written.
std::unique_ptr<TurnedFile> TurnImageFile(Input& in, const Turning& turning, std::string* error);

// Each format's road; the input starts at the file's first byte.
std::unique_ptr<TurnedFile> TurnBmpFile(Input& in, const Turning& turning, std::string* error);
std::unique_ptr<TurnedFile> TurnTiffFile(Input& in, const Turning& turning, std::string* error);
std::unique_ptr<TurnedFile> TurnPngFile(Input& in, const Turning& turning, std::string* error);
std::unique_ptr<TurnedFile> TurnJpegFile(Input& in, const Turning& turning, std::string* error);

// A turned file held as its bytes.
class TurnedBytes : public TurnedFile {
 public:
  explicit TurnedBytes(std::string bytes) : bytes_(std::move(bytes)) {}
  bool WriteTo(Output& out, std::string* error) override {
    return out.Write(bytes_.data(), bytes_.size(), error);
  }
  std::string& bytes() { return bytes_; }

 private:
  std::string bytes_;
};

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_IMAGE_FILE_H
