// Reading BMP files into blocks and writing them back. The tool is a host of
// the library's public API: it reads the header fields itself, through the
// DIB types the public header declares (<windows.h>'s on Windows).
#include "bmp_file.h"

#include "dib_sizes.h"
#include "image_file.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace quadturn::tool {
namespace {

constexpr uint32_t kMaxHeaderBytes = 1024;  // V5 is 124; nothing real is near this

// Compressions past <windows.h>'s BI_ names, and its profile kinds spelt as
// numbers (mingw spells them as multi-character constants).
constexpr DWORD kBiAlphaBitfields = 6;
constexpr DWORD kProfileLinked = 0x4C494E4B;    // 'LINK'
constexpr DWORD kProfileEmbedded = 0x4D424544;  // 'MBED'

// A header read from or written to bytes that need not be aligned for it.
template <typename Header>
Header HeaderAt(const uint8_t* p) {
  Header h;
  std::memcpy(&h, p, sizeof h);
  return h;
}

// Where an image's parts lie, from its info header: offsets from the
// header's start, as in a packed DIB.
struct Layout {
  uint32_t header_bytes = 0;
  uint64_t offset = 0;  // the rows: header, masks, table
  uint64_t rows = 0;
  uint32_t profile_at = 0;  // a V5 header's profile, when it has one
  uint32_t profile_bytes = 0;
};

bool Fail(std::string why, std::string* error) {
  *error = std::move(why);
  return false;
}

std::string CompressionName(uint32_t c, int bits) {
  switch (c) {
    case 1: return "RLE8";
    case 2: return "RLE4";
    // OS/2 headers use 3 and 4 for their own schemes, at 1 and 24 bits.
    case 3: return bits == 1 ? "Huffman 1D, OS/2" : "bit fields";
    case 4: return bits == 24 ? "RLE24, OS/2" : "JPEG";
    case 5: return "PNG";
    case 6: return "alpha bit fields";
    case 11: case 12: case 13: return "CMYK";
  }
  return "biCompression " + std::to_string(c);
}

// Reads the layout from an info header of header_bytes (at least 40) bytes.
bool Describe(const uint8_t* info, Layout* l, std::string* error) {
  const BITMAPINFOHEADER bi = HeaderAt<BITMAPINFOHEADER>(info);
  l->header_bytes = bi.biSize;
  const int32_t width = bi.biWidth;
  const int32_t height = bi.biHeight;
  const int bits = bi.biBitCount;
  const uint32_t compression = bi.biCompression;
  const uint32_t clr_used = bi.biClrUsed;
  // The compression first: JPEG and PNG inside a BMP say 0 bits per pixel.
  const bool bitfields = (compression == BI_BITFIELDS || compression == kBiAlphaBitfields) &&
                         (bits == 16 || bits == 32);
  if (compression != BI_RGB && !bitfields) {
    return Fail("not supported: compressed (" +
                CompressionName(compression, bits) + ")", error);
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return Fail("not supported: " + std::to_string(bits) + " bits per pixel", error);
  }
  if (bi.biPlanes != 1) {
    return Fail("not supported: " + std::to_string(bi.biPlanes) + " planes", error);
  }
  if (width < 0) return Fail("damaged: negative width", error);
  if (height == INT32_MIN) return Fail("damaged: height", error);
  const uint64_t h = height < 0 ? static_cast<uint64_t>(-int64_t{height}) : uint64_t(height);
  // Masks behind a 40-byte header (larger headers hold them), then the
  // table: biClrUsed entries, or 2^bits up to 8 bits.
  const uint64_t masks =
      bitfields && l->header_bytes == sizeof(BITMAPINFOHEADER)
          ? (compression == kBiAlphaBitfields ? 16 : 12)
          : 0;
  const uint64_t entries = clr_used != 0 ? clr_used : bits <= 8 ? 1u << bits : 0;
  l->offset = l->header_bytes + masks + 4 * entries;
  if (l->offset > kMaxDibBytes) {
    return Fail("damaged: a colour table of " + std::to_string(entries) + " entries", error);
  }
  l->rows = DibStride(uint32_t(width), bits) * h;
  if (!DibFits(l->offset, uint32_t(width), h, bits)) {
    return Fail("too large: its rows would pass 2^31 - 1 bytes", error);
  }
  if (l->header_bytes >= sizeof(BITMAPV5HEADER)) {
    const BITMAPV5HEADER v5 = HeaderAt<BITMAPV5HEADER>(info);
    if ((v5.bV5CSType == kProfileEmbedded || v5.bV5CSType == kProfileLinked) &&
        v5.bV5ProfileSize != 0) {
      l->profile_at = v5.bV5ProfileData;
      l->profile_bytes = v5.bV5ProfileSize;
    }
  }
  return true;
}

HGLOBAL Refuse(std::string why, std::string* error) {
  Fail(std::move(why), error);
  return nullptr;
}

// What a read or skip came to as a success, with the data ending first
// reported as `at_end`.
bool Got(ReadResult r, const char* at_end, std::string* error) {
  if (r == ReadResult::kEnd) *error = at_end;
  return r == ReadResult::kOk;
}

// Reads or skips n bytes of the image's body, which ends too soon if it ends.
bool ReadBody(Input& in, void* to, uint64_t n, std::string* error) {
  return Got(in.Read(to, static_cast<std::size_t>(n), error), "truncated BMP file", error);
}
bool SkipBody(Input& in, uint64_t n, std::string* error) {
  return Got(in.Skip(n, error), "truncated BMP file", error);
}

}  // namespace

HGLOBAL ReadBmp(Input& in, uint64_t max_page_bytes, std::string* error) {
  uint8_t file[kFileHeaderBytes + 4];
  if (!Got(in.Read(file, sizeof file, error), "truncated BMP file: it ends inside its header",
           error)) {
    return nullptr;
  }
  const BITMAPFILEHEADER fh = HeaderAt<BITMAPFILEHEADER>(file);
  if (fh.bfType != kBmSignature) {
    return Refuse("not a BMP file (no BM signature)", error);
  }
  const uint32_t header_bytes = HeaderAt<DWORD>(file + kFileHeaderBytes);
  if (header_bytes < 40) {
    return Refuse("not supported: a " + std::to_string(header_bytes) +
                "-byte header (OS/2 and other old formats)", error);
  }
  if (header_bytes > kMaxHeaderBytes) {
    return Refuse("damaged: a header of " + std::to_string(header_bytes) +
                " bytes", error);
  }
  std::vector<uint8_t> info(header_bytes);
  std::memcpy(info.data(), file + kFileHeaderBytes, 4);
  if (!Got(in.Read(info.data() + 4, header_bytes - 4, error),
           "truncated BMP file: it ends inside its header", error)) {
    return nullptr;
  }
  Layout l;
  if (!Describe(info.data(), &l, error)) return nullptr;
  const std::string over = PageOverLimit(l.rows, max_page_bytes);
  if (!over.empty()) return Refuse(over, error);

  // Where the parts lie in the file: rows at bfOffBits, after the header
  // and table with perhaps a gap; a profile in that gap or behind the rows.
  const uint64_t table_end = kFileHeaderBytes + l.offset;
  const uint64_t rows_at = fh.bfOffBits;
  if (rows_at < table_end) {
    return Refuse("damaged: pixel data offset lies inside the header or "
                "colour table", error);
  }
  const uint64_t rows_end = rows_at + l.rows;
  const uint64_t profile_at = kFileHeaderBytes + uint64_t{l.profile_at};
  const uint64_t profile_end = profile_at + l.profile_bytes;
  const bool in_gap = l.profile_bytes > 0 && profile_at >= table_end && profile_end <= rows_at;
  if (l.profile_bytes > 0 && !in_gap && profile_at < rows_end) {
    return Refuse("damaged: colour profile overlaps the image", error);
  }
  if (in.Size() >= 0 && rows_at > static_cast<uint64_t>(in.Size())) {
    return Refuse("damaged: pixel data offset " + std::to_string(rows_at) +
                  " lies past the end of the file (" + std::to_string(in.Size()) + " bytes)",
                  error);
  }
  const uint64_t needed = std::max(rows_end, l.profile_bytes > 0 ? profile_end : 0);
  if (in.Size() >= 0 && static_cast<uint64_t>(in.Size()) < needed) {
    return Refuse("truncated BMP file (" + std::to_string(in.Size()) + " bytes, " +
                std::to_string(needed) + " needed)", error);
  }

  // The packed DIB: header, masks and table, rows, profile right behind.
  const uint64_t dib_bytes = l.offset + l.rows + l.profile_bytes;
  if (dib_bytes > kMaxDibBytes) {
    return Refuse("too large", error);
  }
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(dib_bytes));
  auto* p = h == nullptr ? nullptr : static_cast<uint8_t*>(GlobalLock(h));
  if (p == nullptr) {
    if (h != nullptr) GlobalFree(h);
    return Refuse("out of memory", error);
  }
  uint8_t* profile = p + l.offset + l.rows;
  std::memcpy(p, info.data(), header_bytes);
  bool ok = ReadBody(in, p + header_bytes, l.offset - header_bytes, error);
  if (ok && in_gap) {
    ok = SkipBody(in, profile_at - table_end, error) &&
         ReadBody(in, profile, l.profile_bytes, error) &&
         SkipBody(in, rows_at - profile_end, error);
  } else if (ok) {
    ok = SkipBody(in, rows_at - table_end, error);
  }
  ok = ok && ReadBody(in, p + l.offset, l.rows, error);
  if (ok && l.profile_bytes > 0 && !in_gap) {
    ok = SkipBody(in, profile_at - rows_end, error) &&
         ReadBody(in, profile, l.profile_bytes, error);
  }
  if (ok && l.profile_bytes > 0) {
    // The profile now lies right behind the rows.
    BITMAPV5HEADER v5 = HeaderAt<BITMAPV5HEADER>(p);
    v5.bV5ProfileData = static_cast<DWORD>(l.offset + l.rows);
    std::memcpy(p, &v5, sizeof v5);
  }
  GlobalUnlock(h);
  if (!ok) {
    GlobalFree(h);
    return nullptr;
  }
  return h;
}

bool WriteBmp(HGLOBAL h, Output& out, std::string* error) {
  const auto* p = static_cast<const uint8_t*>(GlobalLock(h));
  if (p == nullptr) {
    *error = "out of memory";
    return false;
  }
  Layout l;
  bool ok = Describe(p, &l, error);
  uint64_t dib_bytes = l.offset + l.rows;
  if (ok && l.profile_bytes > 0) dib_bytes = std::max<uint64_t>(dib_bytes, uint64_t{l.profile_at} + l.profile_bytes);
  // The block may be longer than the image (where a cut failed): only the
  // image is written.
  if (ok && dib_bytes > GlobalSize(h)) {
    ok = false;
    *error = "the turned image is shorter than its header says";
  }
  if (ok) {
    BITMAPFILEHEADER fh{};
    fh.bfType = kBmSignature;
    fh.bfSize = static_cast<DWORD>(kFileHeaderBytes + dib_bytes);
    fh.bfOffBits = static_cast<DWORD>(kFileHeaderBytes + l.offset);
    ok = out.Write(&fh, sizeof fh, error) &&
         out.Write(p, static_cast<std::size_t>(dib_bytes), error);
  }
  GlobalUnlock(h);
  return ok;
}

void ExchangeResolutions(HGLOBAL h) {
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  if (p == nullptr) return;
  BITMAPINFOHEADER bi = HeaderAt<BITMAPINFOHEADER>(p);
  std::swap(bi.biXPelsPerMeter, bi.biYPelsPerMeter);
  std::memcpy(p, &bi, sizeof bi);
  GlobalUnlock(h);
}

}  // namespace quadturn::tool
