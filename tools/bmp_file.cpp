// Reading BMP files into blocks, turning them and writing them back. The tool
// is a host of the library's public API: it reads the header fields itself,
// through the DIB types the public header declares (<windows.h>'s on
// Windows).
#include "bmp_file.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "image_file.h"

namespace quadturn::tool {
namespace {

constexpr uint32_t kMaxHeaderBytes = 1024;  // V5 is 124; nothing real is near this
constexpr uint32_t kCoreHeaderBytes = sizeof(BITMAPCOREHEADER);
constexpr uint32_t kInfoHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr uint32_t kShortestOs2Header = 16;  // OS/2 2.x: any length from 16 to 64

// A block the library turns holds less than 2^31 bytes.
constexpr uint64_t kMaxDibBytes = 0x7FFFFFFF;

// Bytes of a stored row of `width` pixels of `bits` each, padded to 4.
uint64_t DibStride(uint64_t width, int bits) { return (width * bits + 31) / 32 * 4; }

// Whether an image whose rows begin `head` bytes in fits the limit both as
// it is and turned a quarter turn.
bool DibFits(uint64_t head, uint64_t width, uint64_t height, int bits) {
  return head + std::max(DibStride(width, bits) * height, DibStride(height, bits) * width) <=
         kMaxDibBytes;
}

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
template <typename Header>
void PutHeader(uint8_t* p, const Header& h) {
  std::memcpy(p, &h, sizeof h);
}

// Where an image's parts lie, from its info header: offsets from the
// header's start, as in a packed DIB.
struct Layout {
  uint32_t header_bytes = 0;
  uint32_t masks = 0;    // bytes of colour masks behind a 40-byte header
  uint64_t entries = 0;  // colour table entries
  uint64_t offset = 0;   // the rows: header, masks, table
  uint64_t rows = 0;     // uncompressed
  bool rle = false;      // the rows are run-length encoded
  int32_t width = 0;
  uint64_t height = 0;
  int bits = 0;
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
  l->rle = (compression == BI_RLE8 && bits == 8) || (compression == BI_RLE4 && bits == 4);
  if (compression != BI_RGB && !bitfields && !l->rle) {
    return Fail("not supported: compressed (" + CompressionName(compression, bits) + ")", error);
  }
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
      bits != 32) {
    return Fail("not supported: " + std::to_string(bits) + " bits per pixel", error);
  }
  if (bi.biPlanes != 1) {
    return Fail("not supported: " + std::to_string(bi.biPlanes) + " planes", error);
  }
  if (width < 0) return Fail("damaged: negative width", error);
  if (height == INT32_MIN) return Fail("damaged: height", error);
  if (l->rle && height < 0) {
    return Fail("damaged: run-length encoded rows stored from the top", error);
  }
  const uint64_t h = height < 0 ? static_cast<uint64_t>(-int64_t{height}) : uint64_t(height);
  // Masks behind a 40-byte header (larger headers hold them), then the
  // table: biClrUsed entries, or 2^bits up to 8 bits.
  l->masks = bitfields && l->header_bytes == kInfoHeaderBytes
                 ? (compression == kBiAlphaBitfields ? 16 : 12)
                 : 0;
  l->entries = clr_used != 0 ? clr_used : bits <= 8 ? 1u << bits : 0;
  l->offset = l->header_bytes + l->masks + 4 * l->entries;
  if (l->offset > kMaxDibBytes) {
    return Fail("damaged: a colour table of " + std::to_string(l->entries) + " entries", error);
  }
  l->width = width;
  l->height = h;
  l->bits = bits;
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

// The info header an OS/2 one stands for in the block: a core header's
// fields (its table entries, 3 bytes each, as many as fit before the rows),
// or a short OS/2 2.x header's with the fields it leaves out 0.
std::vector<uint8_t> InfoHeaderOf(const std::vector<uint8_t>& header, uint32_t rows_at) {
  std::vector<uint8_t> info(kInfoHeaderBytes, 0);
  if (header.size() == kCoreHeaderBytes) {
    const BITMAPCOREHEADER bc = HeaderAt<BITMAPCOREHEADER>(header.data());
    BITMAPINFOHEADER bi{};
    bi.biWidth = bc.bcWidth;
    bi.biHeight = bc.bcHeight;
    bi.biPlanes = bc.bcPlanes;
    bi.biBitCount = bc.bcBitCount;
    const uint64_t full = bc.bcBitCount <= 8 ? 1u << bc.bcBitCount : 0;
    const uint64_t fit = rows_at > kFileHeaderBytes + kCoreHeaderBytes
                             ? (rows_at - kFileHeaderBytes - kCoreHeaderBytes) / 3
                             : 0;
    bi.biClrUsed = full > 0 && fit < full ? static_cast<DWORD>(std::max<uint64_t>(fit, 1)) : 0;
    PutHeader(info.data(), bi);
  } else {
    std::copy(header.begin(), header.end(), info.begin());
  }
  BITMAPINFOHEADER bi = HeaderAt<BITMAPINFOHEADER>(info.data());
  bi.biSize = kInfoHeaderBytes;
  PutHeader(info.data(), bi);
  return info;
}

// The rows of a block's DIB: where they start, their stride, how many.
struct Rows {
  uint8_t* at;
  uint64_t stride;
  uint32_t width, height;
  bool top_down;
};
Rows RowsOf(uint8_t* dib, const Layout& l) {
  const BITMAPINFOHEADER bi = HeaderAt<BITMAPINFOHEADER>(dib);
  return {dib + l.offset, DibStride(static_cast<uint32_t>(l.width), l.bits),
          static_cast<uint32_t>(l.width), static_cast<uint32_t>(l.height), bi.biHeight < 0};
}

// RotateFlipPixels' view of stored rows: the top row first, a bottom-up
// image given by its last row.
uint8_t* TopRow(const Rows& r) {
  return r.top_down || r.height == 0 ? r.at : r.at + (r.height - 1) * r.stride;
}
LONG_PTR TopDownStride(const Rows& r) {
  return r.top_down ? static_cast<LONG_PTR>(r.stride) : -static_cast<LONG_PTR>(r.stride);
}

// A 2-bit image, which the DIB entries do not take: its rows turned through
// RotateFlipPixels into a new block with the header, table and profile the
// library would write (sizes and resolutions exchanged with the axes,
// biSizeImage restated, rows padded with 0).
HGLOBAL TurnTwoBitDib(HGLOBAL h, const Layout& l, int type, std::string* error) {
  const bool swaps = (type & 1) != 0;
  const uint32_t w = swaps ? static_cast<uint32_t>(l.height) : static_cast<uint32_t>(l.width);
  const uint32_t height = swaps ? static_cast<uint32_t>(l.width) : static_cast<uint32_t>(l.height);
  const uint64_t rows = DibStride(w, 2) * height;
  HGLOBAL turned = GlobalAlloc(GHND, static_cast<SIZE_T>(l.offset + rows + l.profile_bytes));
  auto* to = turned == nullptr ? nullptr : static_cast<uint8_t*>(GlobalLock(turned));
  auto* from = static_cast<uint8_t*>(GlobalLock(h));
  if (to == nullptr || from == nullptr) {
    if (from != nullptr) GlobalUnlock(h);
    if (turned != nullptr) GlobalFree(turned);
    Fail("out of memory", error);
    return nullptr;
  }
  std::memcpy(to, from, static_cast<std::size_t>(l.offset));
  BITMAPINFOHEADER bi = HeaderAt<BITMAPINFOHEADER>(to);
  const bool top_down = bi.biHeight < 0;
  if (swaps) {
    bi.biWidth = static_cast<LONG>(w);
    bi.biHeight = top_down ? -static_cast<LONG>(height) : static_cast<LONG>(height);
    std::swap(bi.biXPelsPerMeter, bi.biYPelsPerMeter);
  }
  bi.biSizeImage = static_cast<DWORD>(rows);
  PutHeader(to, bi);
  const Rows in = RowsOf(from, l);
  const Rows out{to + l.offset, DibStride(w, 2), w, height, top_down};
  const DWORD e = RotateFlipPixels(TopRow(in), TopDownStride(in), TopRow(out), TopDownStride(out),
                                   static_cast<LONG>(in.width), static_cast<LONG>(in.height), 2,
                                   type);
  if (l.profile_bytes > 0) {
    std::memcpy(to + l.offset + rows, from + l.offset + l.rows, l.profile_bytes);
    BITMAPV5HEADER v5 = HeaderAt<BITMAPV5HEADER>(to);
    v5.bV5ProfileData = static_cast<DWORD>(l.offset + rows);
    PutHeader(to, v5);
  }
  GlobalUnlock(h);
  GlobalUnlock(turned);
  if (e != 0) {
    GlobalFree(turned);
    *error = e == ERROR_NOT_ENOUGH_MEMORY ? "out of memory" : "not turned";
    return nullptr;
  }
  return turned;
}

// The file header and the image's own header as the file has it (12 to
// kMaxHeaderBytes bytes).
bool ReadHeaders(Input& in, BITMAPFILEHEADER* fh, std::vector<uint8_t>* header,
                 std::string* error) {
  const char* const truncated = "truncated BMP file: it ends inside its header";
  uint8_t file[kFileHeaderBytes + 4];
  if (!Got(in.Read(file, sizeof file, error), truncated, error)) return false;
  *fh = HeaderAt<BITMAPFILEHEADER>(file);
  if (fh->bfType != kBmSignature) return Fail("not a BMP file (no BM signature)", error);
  const uint32_t header_bytes = HeaderAt<DWORD>(file + kFileHeaderBytes);
  if ((header_bytes != kCoreHeaderBytes && header_bytes < kShortestOs2Header) ||
      header_bytes > kMaxHeaderBytes) {
    return Fail("damaged: a header of " + std::to_string(header_bytes) + " bytes", error);
  }
  header->assign(header_bytes, 0);
  std::memcpy(header->data(), file + kFileHeaderBytes, 4);
  return Got(in.Read(header->data() + 4, header_bytes - 4, error), truncated, error);
}

// Where the image's parts lie in the file, as offsets from its start: the
// table behind the header, the rows at bfOffBits with perhaps a gap
// before them, a profile in that gap or behind the rows.
struct FileParts {
  uint32_t header_bytes = 0;  // the file's own header: 12 to kMaxHeaderBytes
  uint64_t entry_bytes = 4;   // 3 behind a core header
  uint64_t table_end = 0;
  uint64_t rows_at = 0;
  uint64_t data_bytes = 0;  // the rows as stored: run-length encoded or not
  uint64_t rows_end = 0;
  uint64_t profile_at = 0;
  uint64_t profile_end = 0;
  bool profile_in_gap = false;
};

bool PlaceParts(const Input& in, const BITMAPFILEHEADER& fh, uint32_t header_bytes,
                const std::vector<uint8_t>& info, const Layout& l, FileParts* f,
                std::string* error) {
  f->header_bytes = header_bytes;
  f->entry_bytes = header_bytes == kCoreHeaderBytes ? 3 : 4;
  f->table_end = kFileHeaderBytes + header_bytes + l.masks + f->entry_bytes * l.entries;
  f->rows_at = fh.bfOffBits;
  if (f->rows_at < f->table_end) {
    return Fail("damaged: pixel data offset lies inside the header or colour table", error);
  }
  const int64_t size = in.Size();  // -1 where the input cannot tell
  if (size >= 0 && f->rows_at > static_cast<uint64_t>(size)) {
    return Fail("damaged: pixel data offset " + std::to_string(f->rows_at) +
                    " lies past the end of the file (" + std::to_string(size) + " bytes)",
                error);
  }
  // Run-length encoded rows are as long as biSizeImage says, or run to the
  // end of the file; no more than the longest encoding of the rows is read
  // (a jump of its own for every pixel, an end for every line).
  f->data_bytes = l.rows;
  if (l.rle) {
    const uint64_t worst = 4 * uint64_t(l.width) * l.height + 2 * (l.height + 1);
    const uint64_t stated = HeaderAt<BITMAPINFOHEADER>(info.data()).biSizeImage;
    const uint64_t left = size >= 0 ? static_cast<uint64_t>(size) - f->rows_at : worst;
    f->data_bytes = std::min({stated > 0 ? stated : left, left, worst});
  }
  f->rows_end = f->rows_at + f->data_bytes;
  f->profile_at = kFileHeaderBytes + uint64_t{l.profile_at};
  f->profile_end = f->profile_at + l.profile_bytes;
  f->profile_in_gap =
      l.profile_bytes > 0 && f->profile_at >= f->table_end && f->profile_end <= f->rows_at;
  if (l.profile_bytes > 0 && !f->profile_in_gap && f->profile_at < f->rows_end) {
    return Fail("damaged: colour profile overlaps the image", error);
  }
  const uint64_t needed = std::max(f->rows_end, l.profile_bytes > 0 ? f->profile_end : 0);
  if (size >= 0 && static_cast<uint64_t>(size) < needed) {
    return Fail("truncated BMP file (" + std::to_string(size) + " bytes, " +
                    std::to_string(needed) + " needed)",
                error);
  }
  return true;
}

// Up to n bytes, as they come: a header can promise more than the input
// holds.
bool ReadAtMost(Input& in, uint64_t n, std::vector<uint8_t>* data, std::string* error) {
  std::size_t got = 0;
  bool ok = true;
  for (std::size_t part = 0; ok && data->size() < n && got == part;) {
    const std::size_t at = data->size();
    part = static_cast<std::size_t>(std::min<uint64_t>(n - at, std::size_t{1} << 20));
    data->resize(at + part);
    ok = in.ReadUpTo(data->data() + at, part, &got, error);
    data->resize(at + got);
  }
  return ok;
}

// The rest of the file, from behind its header, into the block at p, whose
// info header is in place: masks and table (4-byte entries), the rows
// (decoded), the profile right behind them.
bool ReadBlock(Input& in, const FileParts& f, const Layout& l, uint8_t* p,
               SkippedPixels* skipped, std::string* error) {
  std::vector<uint8_t> table(
      static_cast<std::size_t>(f.table_end - kFileHeaderBytes - f.header_bytes));
  bool ok = ReadBody(in, table.data(), table.size(), error);
  // A core header's entries are 3 bytes; the block's 4.
  for (uint64_t k = 0; ok && k < l.masks + 4 * l.entries; ++k) {
    p[l.header_bytes + k] =
        f.entry_bytes == 4 ? table[k] : k % 4 == 3 ? 0 : table[k / 4 * 3 + k % 4];
  }
  uint8_t* profile = p + l.offset + l.rows;
  if (ok && f.profile_in_gap) {
    ok = SkipBody(in, f.profile_at - f.table_end, error) &&
         ReadBody(in, profile, l.profile_bytes, error) &&
         SkipBody(in, f.rows_at - f.profile_end, error);
  } else if (ok) {
    ok = SkipBody(in, f.rows_at - f.table_end, error);
  }
  if (ok && l.rle) {
    std::vector<uint8_t> data;
    ok = ReadAtMost(in, f.data_bytes, &data, error);
    const Rows rows = RowsOf(p, l);
    DecodeRle(data.data(), data.size(), l.bits, rows.width, rows.height, rows.at, rows.stride,
              skipped);
    BITMAPINFOHEADER bi = HeaderAt<BITMAPINFOHEADER>(p);
    bi.biCompression = BI_RGB;
    bi.biSizeImage = static_cast<DWORD>(l.rows);
    PutHeader(p, bi);
  } else if (ok) {
    ok = ReadBody(in, p + l.offset, l.rows, error);
  }
  if (ok && l.profile_bytes > 0 && !f.profile_in_gap) {
    ok = SkipBody(in, f.profile_at - f.rows_end, error) &&
         ReadBody(in, profile, l.profile_bytes, error);
  }
  if (ok && l.profile_bytes > 0) {
    // The profile now lies right behind the rows.
    BITMAPV5HEADER v5 = HeaderAt<BITMAPV5HEADER>(p);
    v5.bV5ProfileData = static_cast<DWORD>(l.offset + l.rows);
    PutHeader(p, v5);
  }
  return ok;
}

// Why the library left an image as it was, from its last error.
std::string LibraryReason(DWORD error) {
  switch (error) {
    case ERROR_NOT_SUPPORTED: return "not supported by the library";
    case ERROR_INVALID_DATA: return "damaged: the header does not fit the image";
    case ERROR_NOT_ENOUGH_MEMORY: return "out of memory";
    default: return "not turned (error " + std::to_string(error) + ")";
  }
}

}  // namespace

BmpImage::~BmpImage() {
  if (dib_ != nullptr) GlobalFree(dib_);
}

bool BmpImage::Read(Input& in, uint64_t max_page_bytes, std::string* error) {
  BITMAPFILEHEADER fh;
  std::vector<uint8_t> header;
  if (!ReadHeaders(in, &fh, &header, error)) return false;
  // An OS/2 header is read as the 40-byte one it stands for.
  const bool os2 = header.size() < kInfoHeaderBytes;
  const std::vector<uint8_t> info = os2 ? InfoHeaderOf(header, fh.bfOffBits) : header;
  Layout l;
  if (!Describe(info.data(), &l, error)) return false;
  const std::string over = PageOverLimit(l.rows, max_page_bytes);
  if (!over.empty()) return Fail(over, error);
  FileParts parts;
  if (!PlaceParts(in, fh, static_cast<uint32_t>(header.size()), info, l, &parts, error)) {
    return false;
  }

  // The packed DIB: header, masks and table, rows, profile right behind.
  const uint64_t dib_bytes = l.offset + l.rows + l.profile_bytes;
  if (dib_bytes > kMaxDibBytes) return Fail("too large", error);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(dib_bytes));
  auto* p = h == nullptr ? nullptr : static_cast<uint8_t*>(GlobalLock(h));
  if (p == nullptr) {
    if (h != nullptr) GlobalFree(h);
    return Fail("out of memory", error);
  }
  std::memcpy(p, info.data(), info.size());
  const bool ok = ReadBlock(in, parts, l, p, &skipped_, error);
  GlobalUnlock(h);
  if (!ok) {
    GlobalFree(h);
    return false;
  }
  dib_ = h;
  file_header_bytes_ = static_cast<uint32_t>(header.size());
  compression_ = l.rle ? HeaderAt<BITMAPINFOHEADER>(info.data()).biCompression : BI_RGB;
  return true;
}

bool BmpImage::Turn(int type, bool keep_resolution, std::string* error) {
  if (type == QUADTURN_NONE) return true;
  auto* p = static_cast<uint8_t*>(GlobalLock(dib_));
  if (p == nullptr) return Fail("out of memory", error);
  Layout l;
  Describe(p, &l, error);
  GlobalUnlock(dib_);
  if (l.bits == 2) {
    HGLOBAL turned = TurnTwoBitDib(dib_, l, type, error);
    if (turned == nullptr) return false;
    GlobalFree(dib_);
    dib_ = turned;
  } else if (!RotateFlip(dib_, type)) {
    return Fail(LibraryReason(GetLastError()), error);
  }
  if (skipped_.any) {
    // The pixels the file skips move with the others (stored rows upwards,
    // as the image's are).
    const bool swaps = (type & 1) != 0;
    SkippedPixels turned;
    turned.width = swaps ? skipped_.height : skipped_.width;
    turned.height = swaps ? skipped_.width : skipped_.height;
    turned.bits.assign(turned.RowBytes() * turned.height, 0);
    turned.any = true;
    turned.dropped = skipped_.dropped;
    const Rows in{skipped_.bits.data(), skipped_.RowBytes(), skipped_.width, skipped_.height,
                  false};
    const Rows out{turned.bits.data(), turned.RowBytes(), turned.width, turned.height, false};
    const DWORD e = RotateFlipPixels(TopRow(in), TopDownStride(in), TopRow(out),
                                     TopDownStride(out), static_cast<LONG>(in.width),
                                     static_cast<LONG>(in.height), 1, type);
    if (e != 0) return Fail("out of memory", error);
    skipped_ = std::move(turned);
  }
  // The library exchanges the resolutions with the axes.
  if ((type & 1) != 0 && keep_resolution) {
    p = static_cast<uint8_t*>(GlobalLock(dib_));
    if (p == nullptr) return Fail("out of memory", error);
    BITMAPINFOHEADER bi = HeaderAt<BITMAPINFOHEADER>(p);
    std::swap(bi.biXPelsPerMeter, bi.biYPelsPerMeter);
    PutHeader(p, bi);
    GlobalUnlock(dib_);
  }
  return true;
}

bool BmpImage::Write(Output& out, std::string* error) const {
  auto* p = static_cast<uint8_t*>(GlobalLock(dib_));
  if (p == nullptr) return Fail("out of memory", error);
  Layout l;
  bool ok = Describe(p, &l, error);
  uint64_t dib_bytes = l.offset + l.rows;
  if (ok && l.profile_bytes > 0) {
    dib_bytes = std::max<uint64_t>(dib_bytes, uint64_t{l.profile_at} + l.profile_bytes);
  }
  // The block may be longer than the image (where a cut failed): only the
  // image is written.
  if (ok && dib_bytes > GlobalSize(dib_)) {
    ok = Fail("the turned image is shorter than its header says", error);
  }
  // The header, masks and table as the file had them; the rows encoded as
  // they were.
  std::string head(reinterpret_cast<const char*>(p), static_cast<std::size_t>(l.offset));
  std::string rows;
  if (ok && compression_ != BI_RGB) {
    const Rows r = RowsOf(p, l);
    rows = EncodeRle(r.at, r.stride, l.bits, r.width, r.height, skipped_);
    BITMAPINFOHEADER bi = HeaderAt<BITMAPINFOHEADER>(p);
    bi.biCompression = compression_;
    bi.biSizeImage = static_cast<DWORD>(rows.size());
    PutHeader(reinterpret_cast<uint8_t*>(&head[0]), bi);
    if (l.profile_bytes > 0) {
      BITMAPV5HEADER v5 = HeaderAt<BITMAPV5HEADER>(p);
      v5.bV5ProfileData = static_cast<DWORD>(l.offset + rows.size());
      PutHeader(reinterpret_cast<uint8_t*>(&head[0]), v5);
    }
  } else if (ok) {
    rows.assign(reinterpret_cast<const char*>(p) + l.offset,
                static_cast<std::size_t>(dib_bytes - l.offset));
  }
  if (ok && compression_ != BI_RGB && l.profile_bytes > 0) {
    rows.append(reinterpret_cast<const char*>(p) + l.offset + l.rows, l.profile_bytes);
  }
  if (ok && file_header_bytes_ == kCoreHeaderBytes) {
    const BITMAPINFOHEADER bi = HeaderAt<BITMAPINFOHEADER>(p);
    BITMAPCOREHEADER bc{kCoreHeaderBytes, static_cast<WORD>(bi.biWidth),
                        static_cast<WORD>(bi.biHeight), bi.biPlanes, bi.biBitCount};
    std::string core(kCoreHeaderBytes, '\0');
    PutHeader(reinterpret_cast<uint8_t*>(&core[0]), bc);
    for (uint64_t k = 0; k < l.entries; ++k) core.append(head, l.header_bytes + 4 * k, 3);
    head = std::move(core);
  } else if (ok && file_header_bytes_ < kInfoHeaderBytes) {
    head.erase(file_header_bytes_, kInfoHeaderBytes - file_header_bytes_);
    std::memcpy(&head[0], &file_header_bytes_, 4);
  }
  if (ok) {
    BITMAPFILEHEADER fh{};
    fh.bfType = kBmSignature;
    fh.bfSize = static_cast<DWORD>(kFileHeaderBytes + head.size() + rows.size());
    fh.bfOffBits = static_cast<DWORD>(kFileHeaderBytes + head.size());
    ok = out.Write(&fh, sizeof fh, error) && out.Write(head.data(), head.size(), error) &&
         out.Write(rows.data(), rows.size(), error);
  }
  GlobalUnlock(dib_);
  return ok;
}

}  // namespace quadturn::tool
