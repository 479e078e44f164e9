// The PNG road where the build has no libspng (the Windows tool).
#include "image_file.h"

namespace quadturn::tool {

std::unique_ptr<TurnedFile> TurnPngFile(Input&, const Turning&, std::string* error) {
  *error = "not supported: PNG (this build of the tool reads BMP files only)";
  return nullptr;
}

}  // namespace quadturn::tool
