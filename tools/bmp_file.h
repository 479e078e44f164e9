// BMP files to and from packed DIBs in movable blocks: the file header and
// the info header are read and checked first, then the rest of the file goes
// straight into the block (header, masks, table, rows with any gap before
// them closed, a V5 profile behind the rows); writing goes straight from
// the block.
#ifndef QUADTURN_TOOLS_BMP_FILE_H
#define QUADTURN_TOOLS_BMP_FILE_H

#include <cstdint>
#include <string>

#include "file_system.h"
#include "quadturn.h"

namespace quadturn::tool {

constexpr uint32_t kFileHeaderBytes = sizeof(BITMAPFILEHEADER);
constexpr WORD kBmSignature = 0x4D42;  // "BM"
static_assert(kFileHeaderBytes == 14, "the file header is packed, as on Windows");

// Reads a BMP file into a new movable block holding its packed DIB, reading
// no more than the header says the image needs, and refusing rows of more
// than `max_page_bytes`. On failure returns null with a one-line reason (no
// file name) in `error`.
HGLOBAL ReadBmp(Input& in, uint64_t max_page_bytes, std::string* error);

// Writes the BMP file of the packed DIB in h: a file header with bfSize and
// bfOffBits, then the DIB as its header describes it (header, masks, table,
// rows and a V5 profile behind them).
bool WriteBmp(HGLOBAL h, Output& out, std::string* error);

// Exchanges a packed DIB's horizontal and vertical resolution.
void ExchangeResolutions(HGLOBAL h);

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_BMP_FILE_H
