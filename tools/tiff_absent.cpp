// The TIFF road where the build has no libtiff (the Windows tool).
#include "image_file.h"

namespace quadturn::tool {

std::unique_ptr<TurnedFile> TurnTiffFile(Input&, const Turning&, std::string* error) {
  *error = "not supported: TIFF (this build of the tool reads BMP files only)";
  return nullptr;
}

}  // namespace quadturn::tool
