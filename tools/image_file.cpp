// Recognising a file's format, and the BMP road: the whole file is one
// packed DIB in a block, turned there by the library and written from it.
#include "image_file.h"

#include <algorithm>
#include <cstring>

#include "bmp_file.h"
#include "orientation.h"

namespace quadturn::tool {
namespace {

class TurnedBmp : public TurnedFile {
 public:
  bool WriteTo(Output& out, std::string* error) override { return image.Write(out, error); }
  BmpImage image;
};

bool StartsWith(const uint8_t* head, std::size_t n, const char* signature, std::size_t length) {
  return n >= length && std::memcmp(head, signature, length) == 0;
}

}  // namespace

int Turning::StoredType(int orientation) const {
  const int tag = TypeOfTag(orientation);
  return upright ? tag : Compose(Compose(tag, type), Inverse(tag));
}

int Turning::TagAfter(int orientation) const {
  if (upright) return 1;
  return orientation_tag ? TagOfType(Compose(TypeOfTag(orientation), type)) : orientation;
}

std::unique_ptr<TurnedFile> TurnBmpFile(Input& in, const Turning& turning, std::string* error) {
  auto turned = std::make_unique<TurnedBmp>();
  if (!turned->image.Read(in, turning.max_page_bytes, error)) return nullptr;
  if (const uint64_t dropped = turned->image.DroppedPixels(); dropped > 0) {
    turned->notes.push_back("its run-length data put " + std::to_string(dropped) +
                            " pixels past their row's end or the last row, which were "
                            "dropped, as viewers do");
  }
  // A BMP file has no orientation of its own: upright already.
  const int type = turning.StoredType(1);
  turned->unchanged = type == QUADTURN_NONE;
  if (!turned->image.Turn(type, turning.keep_resolution, error)) return nullptr;
  return turned;
}

std::string PageOverLimit(uint64_t bytes, uint64_t limit) {
  if (bytes <= limit) return "";
  return "too large: a page of " + std::to_string(bytes) + " bytes decoded, more than the " +
         std::to_string(limit) + " allowed (--max-page-bytes sets the limit)";
}

std::unique_ptr<TurnedFile> TurnImageFile(Input& in, const Turning& turning, std::string* error) {
  uint8_t head[8];
  std::size_t n = 0;
  if (!in.ReadUpTo(head, sizeof head, &n, error)) return nullptr;
  in.PutBack(head, n);
  // A file too short for its signature is named by the part there is.
  struct Format { const char* name; const char* signature; std::size_t length; };
  static const Format kFormats[] = {{"TIFF", "II*\0", 4}, {"TIFF", "MM\0*", 4},
                                    {"TIFF", "II+\0", 4}, {"TIFF", "MM\0+", 4},
                                    {"PNG", "\x89PNG\r\n\x1a\n", 8}, {"BMP", "BM", 2},
                                    {"JPEG", "\xFF\xD8\xFF", 3}};
  if (n == 0) {
    *error = "empty file";
    return nullptr;
  }
  const Format* format = nullptr;
  for (const Format& f : kFormats) {
    if (StartsWith(head, n, f.signature, std::min(n, f.length))) {
      if (n < f.length) {
        *error = std::string("truncated ") + f.name + " file: it ends inside its signature";
        return nullptr;
      }
      format = &f;
      break;
    }
  }
  if (format == nullptr) {
    *error = "not an image file this tool reads (BMP, TIFF, PNG or JPEG)";
    return nullptr;
  }
  const std::string name = format->name;
  std::unique_ptr<TurnedFile> turned = name == "TIFF"   ? TurnTiffFile(in, turning, error)
                                       : name == "PNG"  ? TurnPngFile(in, turning, error)
                                       : name == "JPEG" ? TurnJpegFile(in, turning, error)
                                                        : TurnBmpFile(in, turning, error);
  if (turned != nullptr) turned->format = name;
  return turned;
}

}  // namespace quadturn::tool
