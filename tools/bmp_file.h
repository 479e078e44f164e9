// BMP files to and from packed DIBs: the 14-byte file header, the checks a
// file must pass before the library sees it, and the gap before the rows.
#ifndef QUADTURN_TOOLS_BMP_FILE_H
#define QUADTURN_TOOLS_BMP_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace qt_tool {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFileHeaderBytes = 14;

struct Dib {
  Bytes bytes;            // header, colour table, rows: one packed DIB
  uint32_t pixel_offset;  // where the rows begin within `bytes`
};

// Lays the packed DIB of a BMP file out in one piece, closing any gap the
// file leaves between the colour table and the rows. On failure returns false
// and says why in `error` (one line, no file name).
bool DibFromBmpFile(const Bytes& file, Dib* dib, std::string* error);

// The BMP file for a packed DIB: file header with bfSize and bfOffBits.
Bytes BmpFileFromDib(const Dib& dib);

}  // namespace qt_tool

#endif  // QUADTURN_TOOLS_BMP_FILE_H
