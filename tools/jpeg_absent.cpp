// The JPEG road where the build has no libjpeg-turbo (the Windows tool).
#include "image_file.h"

namespace quadturn::tool {

std::unique_ptr<TurnedFile> TurnJpegFile(Input&, const Turning&, std::string* error) {
  *error = "not supported: JPEG (this build of the tool reads BMP files only)";
  return nullptr;
}

}  // namespace quadturn::tool
