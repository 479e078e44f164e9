// Reading and writing BMP files around a packed DIB.
#include "bmp_file.h"

#include <algorithm>

namespace qt_tool {
namespace {

uint32_t U32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool Fail(std::string* error, std::string why) {
  *error = std::move(why);
  return false;
}

}  // namespace

bool DibFromBmpFile(const Bytes& file, Dib* dib, std::string* error) {
  if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') {
    return Fail(error, "not a BMP file (no BM signature)");
  }
  if (file.size() < kFileHeaderBytes + 4) return Fail(error, "truncated BMP header");
  const uint8_t* info = file.data() + kFileHeaderBytes;
  const uint32_t header_bytes = U32(info);
  if (header_bytes < 40) {
    return Fail(error, "unsupported header of " + std::to_string(header_bytes) +
                           " bytes (OS/2 and other old formats are not turned)");
  }
  if (file.size() < kFileHeaderBytes + uint64_t{header_bytes}) {
    return Fail(error, "truncated BMP header");
  }
  const int32_t height = static_cast<int32_t>(U32(info + 8));
  const int bits = U16(info + 14);
  const uint32_t compression = U32(info + 16);
  const uint32_t clr_used = U32(info + 32);
  if (compression != 0) {
    return Fail(error, "compressed image (biCompression " + std::to_string(compression) +
                           "); only uncompressed images are turned");
  }
  if (height < 0) return Fail(error, "top-down image (negative height) is not turned");
  if (static_cast<int32_t>(U32(info + 4)) < 0) return Fail(error, "negative width");
  if (bits != 1 && bits != 8 && bits != 24) {
    return Fail(error, std::to_string(bits) +
                           "-bit image is not turned (1, 8 and 24 bits are)");
  }
  if (bits == 1 && header_bytes != 40) {
    return Fail(error, "left untouched: 1-bit images are turned only with a 40-byte header");
  }
  if (bits == 1 && clr_used == 1) {
    return Fail(error, "left untouched: 1-bit image with a one-entry colour table");
  }
  if (header_bytes >= 124) {
    // A V5 header may point at a colour profile stored past the rows, which
    // the packed DIB would not carry along.
    const uint32_t cs_type = U32(info + 56);
    if (cs_type == 0x4D424544u || cs_type == 0x4C494E4Bu) {
      return Fail(error, "image with a linked or embedded colour profile is not turned");
    }
  }

  // The table as the library reads it: two entries at 1 bit, biClrUsed or
  // 256 at 8 bits, biClrUsed at 24 bits.
  uint64_t table = 4ull * clr_used;
  if (bits == 1) table = 8;
  if (bits == 8 && clr_used == 0) table = 1024;
  const uint64_t table_end = uint64_t{header_bytes} + table;
  const uint64_t width = U32(info + 4);
  const uint64_t stride = (width * bits + 31) / 32 * 4;
  const uint64_t rows = stride * static_cast<uint64_t>(height);
  const uint64_t off_bits = U32(file.data() + 10);
  if (table_end > 0x7FFFFFFFull || rows > 0x7FFFFFFFull) {
    return Fail(error, "image too large");
  }
  if (off_bits < kFileHeaderBytes + table_end) {
    return Fail(error, "pixel data offset lies inside the header or colour table");
  }
  if (file.size() < kFileHeaderBytes + table_end) {
    return Fail(error, "truncated colour table");
  }
  if (file.size() < off_bits + rows) {
    return Fail(error, "truncated pixel data (" + std::to_string(file.size()) +
                           " bytes, " + std::to_string(off_bits + rows) + " needed)");
  }
  dib->bytes.assign(info, info + table_end);
  dib->bytes.insert(dib->bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(off_bits),
                    file.begin() + static_cast<std::ptrdiff_t>(off_bits + rows));
  dib->pixel_offset = static_cast<uint32_t>(table_end);
  return true;
}

Bytes BmpFileFromDib(const Dib& dib) {
  Bytes file(kFileHeaderBytes + dib.bytes.size());
  file[0] = 'B';
  file[1] = 'M';
  PutU32(&file[2], static_cast<uint32_t>(file.size()));
  PutU32(&file[10], kFileHeaderBytes + dib.pixel_offset);
  std::copy(dib.bytes.begin(), dib.bytes.end(), file.begin() + kFileHeaderBytes);
  return file;
}

}  // namespace qt_tool
