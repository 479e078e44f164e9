// TIFF files through libtiff: every page (image file directory) in order is
// decoded into a block, turned by the library and encoded again with its
// own compression, predictor, fill order, photometric, colour map, profile
// and descriptive tags. libtiff seeks: a regular file is read where it
// asks, standard input is read into memory first; the turned file is built
// in memory, so nothing is written unless every page turned. libtiff's
// messages are caught, never printed.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image_file.h"
#include "page.h"

namespace quadturn::tool {
namespace {

// A file as libtiff's client I/O sees it: the input, read by offsets or
// held whole in memory, or the output growing in memory as libtiff writes
// and seeks (and reads back, to chain each page's directory to the last).
struct ClientFile {
  const uint8_t* data = nullptr;  // reading from memory
  Input* input = nullptr;         // reading a file by offsets
  std::string* bytes = nullptr;   // writing
  uint64_t input_size = 0;        // reading
  uint64_t at = 0;
  std::string read_error;
  uint64_t Size() const { return bytes != nullptr ? bytes->size() : input_size; }
  const uint8_t* Bytes() const {
    return bytes != nullptr ? reinterpret_cast<const uint8_t*>(bytes->data()) : data;
  }
};

tmsize_t ReadProc(thandle_t h, void* to, tmsize_t n) {
  auto* f = static_cast<ClientFile*>(h);
  if (n < 0 || f->at >= f->Size()) return 0;
  if (f->input != nullptr) {
    const int64_t got = f->input->ReadAt(f->at, to, static_cast<std::size_t>(n), &f->read_error);
    if (got > 0) f->at += static_cast<uint64_t>(got);
    return static_cast<tmsize_t>(got);
  }
  const uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(n), f->Size() - f->at);
  std::memcpy(to, f->Bytes() + f->at, static_cast<std::size_t>(count));
  f->at += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t h, void* from, tmsize_t n) {
  auto* f = static_cast<ClientFile*>(h);
  if (f->bytes == nullptr || n < 0) return -1;
  std::string& b = *f->bytes;
  const uint64_t end = f->at + static_cast<uint64_t>(n);
  // Mostly appending; libtiff goes back only to link directories.
  if (f->at > b.size()) b.resize(static_cast<std::size_t>(f->at));
  const std::size_t inside = static_cast<std::size_t>(std::min<uint64_t>(end, b.size()) - f->at);
  std::memcpy(&b[static_cast<std::size_t>(f->at)], from, inside);
  b.append(static_cast<const char*>(from) + inside, static_cast<std::size_t>(n) - inside);
  f->at = end;
  return n;
}

toff_t SeekProc(thandle_t h, toff_t offset, int whence) {
  auto* f = static_cast<ClientFile*>(h);
  const uint64_t base = whence == SEEK_CUR ? f->at : whence == SEEK_END ? f->Size() : 0;
  f->at = base + offset;
  return f->at;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<ClientFile*>(h)->Size(); }

// The input is mapped as it is: libtiff reads uncompressed strips in place.
int MapProc(thandle_t h, void** base, toff_t* size) {
  auto* f = static_cast<ClientFile*>(h);
  if (f->data == nullptr) return 0;
  *base = const_cast<uint8_t*>(f->data);
  *size = f->input_size;
  return 1;
}
void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's first error for this file; warnings are dropped.
int OnError(TIFF*, void* user, const char*, const char* format, va_list args) {
  auto* first = static_cast<std::string*>(user);
  if (first->empty()) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    *first = text;
  }
  return 1;
}
int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

constexpr tmsize_t kMaxLibtiffAllocation = tmsize_t{1} << 30;

// An open TIFF over a client file, closed with it; its errors kept in `error`.
class Tiff {
 public:
  Tiff(ClientFile* file, const char* mode) {
    // libtiff's own printing, for anything not said through a file's
    // handlers, is switched off.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    // A damaged file's sizes must not make libtiff ask for more than a
    // page's pixels may take (the library's 2^31 limit on a block).
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxLibtiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &error);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, nullptr);
    tif = TIFFClientOpenExt("tiff", mode, file, ReadProc, WriteProc, SeekProc, CloseProc,
                            SizeProc, MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
  }
  ~Tiff() {
    if (tif != nullptr) TIFFClose(tif);
  }
  Tiff(const Tiff&) = delete;
  Tiff& operator=(const Tiff&) = delete;

  std::string error;
  TIFF* tif = nullptr;
};

std::string CompressionName(uint16_t c) {
  const TIFFCodec* codec = TIFFFindCODEC(c);
  return codec != nullptr ? codec->name : "compression " + std::to_string(c);
}

// The compressions written back as they came: lossless, and encoded by
// this libtiff.
bool CompressionKept(uint16_t c) {
  switch (c) {
    case COMPRESSION_NONE: case COMPRESSION_CCITTFAX3: case COMPRESSION_CCITTFAX4:
    case COMPRESSION_LZW: case COMPRESSION_ADOBE_DEFLATE: case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS: case COMPRESSION_LZMA: case COMPRESSION_ZSTD:
      return TIFFIsCODECConfigured(c) != 0;
  }
  return false;
}

template <typename T>
T Field(TIFF* tif, ttag_t tag, T otherwise) {
  T v = otherwise;
  return TIFFGetFieldDefaulted(tif, tag, &v) ? v : otherwise;
}

// The bits per pixel of a page the library can turn without loss, or 0
// with the reason.
int PixelBits(TIFF* tif, std::string* why) {
  const uint16_t compression = Field<uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  const uint16_t photometric = Field<uint16_t>(tif, TIFFTAG_PHOTOMETRIC, 0xFFFF);
  const uint16_t bits = Field<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
  const uint16_t samples = Field<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  const uint16_t planar = Field<uint16_t>(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  const uint16_t format = Field<uint16_t>(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  if (compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG) {
    *why = "JPEG-compressed (turning it would mean encoding it again, with loss)";
  } else if (!CompressionKept(compression)) {
    *why = CompressionName(compression) + " compression";
  } else if (photometric == PHOTOMETRIC_SEPARATED) {
    *why = "CMYK (separated) pixels";
  } else if (photometric == PHOTOMETRIC_YCBCR) {
    *why = "YCbCr pixels";
  } else if (photometric != PHOTOMETRIC_MINISWHITE && photometric != PHOTOMETRIC_MINISBLACK &&
             photometric != PHOTOMETRIC_RGB && photometric != PHOTOMETRIC_PALETTE) {
    *why = "photometric interpretation " + std::to_string(photometric);
  } else if (format != SAMPLEFORMAT_UINT) {
    *why = "signed or floating-point samples";
  } else if (bits != 1 && bits != 4 && bits != 8) {
    *why = std::to_string(bits) + " bits per sample";
  } else if (samples > 4) {
    *why = std::to_string(samples) + " samples per pixel";
  } else if (samples > 1 && planar != PLANARCONFIG_CONTIG) {
    *why = "planar (separate) samples";
  } else if (samples > 1 && (bits != 8 || photometric == PHOTOMETRIC_PALETTE)) {
    *why = std::to_string(samples) + " samples of " + std::to_string(bits) + " bits";
  } else if (photometric == PHOTOMETRIC_RGB && samples < 3) {
    *why = "RGB with " + std::to_string(samples) + " samples";
  } else {
    return bits * samples;
  }
  return 0;
}

template <typename T>
void CopyField(TIFF* in, TIFF* out, ttag_t tag) {
  T v;
  if (TIFFGetField(in, tag, &v)) TIFFSetField(out, tag, v);
}

// Tags given as a count and the bytes or values.
void CopyBlob(TIFF* in, TIFF* out, ttag_t tag) {
  uint32_t count = 0;
  void* data = nullptr;
  if (TIFFGetField(in, tag, &count, &data) && data != nullptr) {
    TIFFSetField(out, tag, count, data);
  }
}

// A rational field's value as it can be written back and read the same:
// false for a damaged file's value no unsigned rational holds (libtiff
// would write 0xFFFFFFFF/0), which is left out; a value too small for one
// (libtiff would write 0/0xFFFFFFFF) becomes 0.
bool Storable(float* v) {
  // Compared as doubles: 2^32 - 1 as a float is 2^32, which no rational holds.
  if (!std::isfinite(*v) || *v < 0 || static_cast<double>(*v) >= 4294967295.0) return false;
  if (static_cast<double>(*v) < 1.0 / 4294967295.0) *v = 0;
  return true;
}

// Everything about a page but its size and layout in strips or tiles.
void CopyTags(TIFF* in, TIFF* out, const Turning& turning) {
  // The compression first: it brings its own tags (predictor, fax options).
  for (ttag_t tag : {TIFFTAG_COMPRESSION, TIFFTAG_PHOTOMETRIC, TIFFTAG_BITSPERSAMPLE,
                     TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_PLANARCONFIG, TIFFTAG_FILLORDER,
                     TIFFTAG_ORIENTATION, TIFFTAG_RESOLUTIONUNIT, TIFFTAG_PREDICTOR,
                     TIFFTAG_THRESHHOLDING, TIFFTAG_CLEANFAXDATA, TIFFTAG_SAMPLEFORMAT,
                     TIFFTAG_MINSAMPLEVALUE, TIFFTAG_MAXSAMPLEVALUE}) {
    CopyField<uint16_t>(in, out, tag);
  }
  for (ttag_t tag : {TIFFTAG_SUBFILETYPE, TIFFTAG_GROUP3OPTIONS, TIFFTAG_GROUP4OPTIONS,
                     TIFFTAG_BADFAXLINES, TIFFTAG_CONSECUTIVEBADFAXLINES}) {
    CopyField<uint32_t>(in, out, tag);
  }
  for (ttag_t tag : {TIFFTAG_DOCUMENTNAME, TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE,
                     TIFFTAG_MODEL, TIFFTAG_PAGENAME, TIFFTAG_SOFTWARE, TIFFTAG_DATETIME,
                     TIFFTAG_ARTIST, TIFFTAG_HOSTCOMPUTER, TIFFTAG_COPYRIGHT}) {
    CopyField<char*>(in, out, tag);
  }
  for (ttag_t tag : {TIFFTAG_WHITEPOINT, TIFFTAG_PRIMARYCHROMATICITIES,
                     TIFFTAG_REFERENCEBLACKWHITE}) {
    CopyField<float*>(in, out, tag);
  }
  for (ttag_t tag : {TIFFTAG_XPOSITION, TIFFTAG_YPOSITION}) {
    float v = 0;
    if (TIFFGetField(in, tag, &v) && Storable(&v)) TIFFSetField(out, tag, v);
  }
  for (ttag_t tag : {TIFFTAG_ICCPROFILE, TIFFTAG_XMLPACKET, TIFFTAG_PHOTOSHOP,
                     TIFFTAG_RICHTIFFIPTC}) {
    CopyBlob(in, out, tag);
  }
  uint16_t page = 0, pages = 0;
  if (TIFFGetField(in, TIFFTAG_PAGENUMBER, &page, &pages)) {
    TIFFSetField(out, TIFFTAG_PAGENUMBER, page, pages);
  }
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (TIFFGetField(in, TIFFTAG_COLORMAP, &red, &green, &blue)) {
    TIFFSetField(out, TIFFTAG_COLORMAP, red, green, blue);
  }
  uint16_t extra = 0;
  uint16_t* kinds = nullptr;
  if (TIFFGetField(in, TIFFTAG_EXTRASAMPLES, &extra, &kinds)) {
    TIFFSetField(out, TIFFTAG_EXTRASAMPLES, extra, kinds);
  }
  // A quarter turn exchanges the horizontal and vertical resolution (a fax
  // of 204 x 98 dpi becomes 98 x 204), unless they are to be kept.
  float x = 0, y = 0;
  const bool has_x = TIFFGetField(in, TIFFTAG_XRESOLUTION, &x) != 0 && Storable(&x);
  const bool has_y = TIFFGetField(in, TIFFTAG_YRESOLUTION, &y) != 0 && Storable(&y);
  const bool exchange = turning.ExchangesResolutions();
  if (exchange ? has_y : has_x) TIFFSetField(out, TIFFTAG_XRESOLUTION, exchange ? y : x);
  if (exchange ? has_x : has_y) TIFFSetField(out, TIFFTAG_YRESOLUTION, exchange ? x : y);
}

// Copies `rows` rows of `bytes` bytes between buffers of different strides.
void CopyRows(const uint8_t* from, std::ptrdiff_t from_stride, uint8_t* to,
              std::ptrdiff_t to_stride, uint32_t rows, std::size_t bytes) {
  for (uint32_t r = 0; r < rows; ++r) {
    std::memcpy(to + r * to_stride, from + r * from_stride, bytes);
  }
}

// The page's pixels from the file into the block: tile by tile, or strip by
// strip (straight into the block where its rows are laid out as the
// strip's).
bool ReadPixels(TIFF* tif, const Page& page) {
  const uint32_t w = page.width(), h = page.height();
  const std::ptrdiff_t page_stride = page.stride();
  std::vector<uint8_t> buffer;
  if (TIFFIsTiled(tif)) {
    const uint32_t tw = Field<uint32_t>(tif, TIFFTAG_TILEWIDTH, 0);
    const uint32_t tl = Field<uint32_t>(tif, TIFFTAG_TILELENGTH, 0);
    const tmsize_t tile_bytes = TIFFTileSize(tif), line = TIFFTileRowSize(tif);
    if (tw == 0 || tl == 0 || tile_bytes <= 0 || line <= 0) return false;
    buffer.resize(static_cast<std::size_t>(tile_bytes));
    for (uint32_t y = 0; y < h; y += tl) {
      for (uint32_t x = 0; x < w; x += tw) {
        if (TIFFReadEncodedTile(tif, TIFFComputeTile(tif, x, y, 0, 0), buffer.data(),
                                tile_bytes) < 0) {
          return false;
        }
        CopyRows(buffer.data(), line, page.At(y, x), page_stride, std::min(tl, h - y),
                 page.BytesOf(std::min(tw, w - x)));
      }
    }
    return true;
  }
  const uint32_t per_strip = std::min(Field<uint32_t>(tif, TIFFTAG_ROWSPERSTRIP, h), h);
  const tmsize_t line = TIFFScanlineSize(tif);
  if (per_strip == 0 || line <= 0) return h == 0;
  const bool direct = line == page_stride || h == 1;
  if (!direct) buffer.resize(static_cast<std::size_t>(line) * per_strip);
  for (uint32_t y = 0, strip = 0; y < h; y += per_strip, ++strip) {
    const uint32_t rows = std::min(per_strip, h - y);
    uint8_t* to = direct ? page.Row(y) : buffer.data();
    if (TIFFReadEncodedStrip(tif, strip, to, line * rows) < 0) return false;
    if (!direct) CopyRows(buffer.data(), line, page.Row(y), page_stride, rows, line);
  }
  return true;
}

// The turned page's pixels from the block into the file, laid out as the
// page came: the same tile size, or one strip where the page was one strip
// and libtiff's usual strips otherwise.
bool WritePixels(TIFF* in, TIFF* out, const Page& page) {
  const uint32_t w = page.width(), h = page.height();
  const std::ptrdiff_t page_stride = page.stride();
  TIFFSetField(out, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(out, TIFFTAG_IMAGELENGTH, h);
  std::vector<uint8_t> buffer;
  if (TIFFIsTiled(in)) {
    const uint32_t tw = Field<uint32_t>(in, TIFFTAG_TILEWIDTH, 0);
    const uint32_t tl = Field<uint32_t>(in, TIFFTAG_TILELENGTH, 0);
    TIFFSetField(out, TIFFTAG_TILEWIDTH, tw);
    TIFFSetField(out, TIFFTAG_TILELENGTH, tl);
    const tmsize_t tile_bytes = TIFFTileSize(out), line = TIFFTileRowSize(out);
    if (tile_bytes <= 0 || line <= 0) return false;
    buffer.resize(static_cast<std::size_t>(tile_bytes));
    for (uint32_t y = 0; y < h; y += tl) {
      for (uint32_t x = 0; x < w; x += tw) {
        // Edge tiles are padded with zeros beyond the image.
        std::fill(buffer.begin(), buffer.end(), 0);
        CopyRows(page.At(y, x), page_stride, buffer.data(), line, std::min(tl, h - y),
                 page.BytesOf(std::min(tw, w - x)));
        if (TIFFWriteEncodedTile(out, TIFFComputeTile(out, x, y, 0, 0), buffer.data(),
                                 tile_bytes) < 0) {
          return false;
        }
      }
    }
    return true;
  }
  const uint32_t in_rows = Field<uint32_t>(in, TIFFTAG_ROWSPERSTRIP, UINT32_MAX);
  const uint32_t in_height = Field<uint32_t>(in, TIFFTAG_IMAGELENGTH, 0);
  const uint32_t per_strip = std::max<uint32_t>(
      1, in_rows >= in_height ? h : std::min(h, TIFFDefaultStripSize(out, 0)));
  TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, per_strip);
  const tmsize_t line = TIFFScanlineSize(out);
  if (line <= 0) return h == 0;
  const bool direct = line == page_stride || h == 1;
  if (!direct) buffer.resize(static_cast<std::size_t>(line) * per_strip);
  for (uint32_t y = 0, strip = 0; y < h; y += per_strip, ++strip) {
    const uint32_t rows = std::min(per_strip, h - y);
    if (!direct) CopyRows(page.Row(y), page_stride, buffer.data(), line, rows, line);
    // libtiff may change the bytes it is given (predictor, fill order): the
    // page is not needed after.
    if (TIFFWriteEncodedStrip(out, strip, direct ? page.Row(y) : buffer.data(), line * rows) <
        0) {
      return false;
    }
  }
  return true;
}

// The Orientation value after the image as shown is turned `turns` quarter
// turns clockwise: 1, 6, 3, 8 show the stored rows turned 0 to 3 quarter
// turns; 2, 7, 4, 5 mirrored first. Values outside 1 to 8 count as 1.
uint16_t TurnedOrientation(uint16_t orientation, int turns) {
  static const uint16_t kTurned[4] = {1, 6, 3, 8}, kMirrored[4] = {2, 7, 4, 5};
  const int q = ((turns % 4) + 4) % 4;
  for (int k = 0; k < 4; ++k) {
    if (kMirrored[k] == orientation) return kMirrored[(k + q) % 4];
  }
  for (int k = 0; k < 4; ++k) {
    if (kTurned[k] == orientation) return kTurned[(k + q) % 4];
  }
  return kTurned[q];
}

// The page as it is, its strips or tiles copied without decoding (any
// compression and layout, JPEG too), its Orientation tag recording the turn.
// The resolutions describe the stored rows, so they stay.
bool CopyPageTurnedByTag(TIFF* in, TIFF* out, int turns, uint64_t file_size) {
  CopyTags(in, out, Turning{turns, true, true});
  for (ttag_t tag : {TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH, TIFFTAG_TILEWIDTH,
                     TIFFTAG_TILELENGTH}) {
    CopyField<uint32_t>(in, out, tag);
  }
  const bool tiled = TIFFIsTiled(in) != 0;
  // The strips as they are, stated even where the file left the count to
  // its default.
  if (!tiled) {
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP,
                 Field<uint32_t>(in, TIFFTAG_ROWSPERSTRIP, UINT32_MAX));
  }
  CopyField<uint16_t>(in, out, TIFFTAG_YCBCRPOSITIONING);
  CopyField<float*>(in, out, TIFFTAG_YCBCRCOEFFICIENTS);
  CopyField<uint16_t>(in, out, TIFFTAG_INKSET);
  CopyBlob(in, out, TIFFTAG_JPEGTABLES);
  uint16_t sub_h = 0, sub_v = 0;
  if (TIFFGetField(in, TIFFTAG_YCBCRSUBSAMPLING, &sub_h, &sub_v)) {
    TIFFSetField(out, TIFFTAG_YCBCRSUBSAMPLING, sub_h, sub_v);
  }
  TIFFSetField(out, TIFFTAG_ORIENTATION,
               TurnedOrientation(Field<uint16_t>(in, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT),
                                 turns));
  const uint32_t pieces = tiled ? TIFFNumberOfTiles(in) : TIFFNumberOfStrips(in);
  std::vector<uint8_t> buffer;
  for (uint32_t k = 0; k < pieces; ++k) {
    // A strip or tile lies inside the file, or the file is damaged.
    const uint64_t size = TIFFGetStrileByteCount(in, k);
    if (size > file_size) return false;
    buffer.resize(static_cast<std::size_t>(size));
    const tmsize_t got = tiled ? TIFFReadRawTile(in, k, buffer.data(), static_cast<tmsize_t>(size))
                               : TIFFReadRawStrip(in, k, buffer.data(), static_cast<tmsize_t>(size));
    if (got < 0) return false;
    const tmsize_t put = tiled ? TIFFWriteRawTile(out, k, buffer.data(), got)
                               : TIFFWriteRawStrip(out, k, buffer.data(), got);
    if (put != got) return false;
  }
  return true;
}

// The reason a page failed: libtiff's first error where it gave one.
std::string PageError(int number, const std::string& why, const Tiff& in, const Tiff& out,
                      const ClientFile& source) {
  const std::string& detail = !source.read_error.empty() ? source.read_error
                              : !in.error.empty()        ? in.error
                                                         : out.error;
  return "page " + std::to_string(number) + ": " + why +
         (detail.empty() ? "" : " (" + detail + ")");
}

}  // namespace

std::unique_ptr<TurnedFile> TurnTiffFile(Input& input, const Turning& turning,
                                         std::string* error) {
  WholeInput file;
  ClientFile source;
  if (input.CanReadAt()) {
    source.input = &input;
    source.input_size = static_cast<uint64_t>(input.Size());
  } else {
    if (!input.ReadToEnd(&file, error)) return nullptr;
    source.data = file.bytes.get();
    source.input_size = file.size;
  }
  Tiff in(&source, "r");
  if (in.tif == nullptr) {
    *error = !source.read_error.empty() ? source.read_error
             : "damaged TIFF file" + (in.error.empty() ? "" : " (" + in.error + ")");
    return nullptr;
  }
  // The turned file is about as large as the file.
  std::string turned;
  turned.reserve(static_cast<std::size_t>(source.input_size) + (std::size_t{64} << 10));
  ClientFile target;
  target.bytes = &turned;
  // The same byte order, and BigTIFF where the file is.
  std::string mode = "w";
  mode += TIFFIsBigEndian(in.tif) ? "b" : "l";
  if (TIFFIsBigTIFF(in.tif)) mode += "8";
  Tiff out(&target, mode.c_str());
  if (out.tif == nullptr) {
    *error = "cannot make the turned TIFF file (" + out.error + ")";
    return nullptr;
  }
  int number = 1;
  do {
    if (turning.orientation_tag) {
      if (!CopyPageTurnedByTag(in.tif, out.tif, turning.turns, source.input_size) ||
          !in.error.empty() || !TIFFWriteDirectory(out.tif)) {
        *error = PageError(number, "cannot copy the page", in, out, source);
        return nullptr;
      }
      ++number;
      continue;
    }
    std::string why;
    const int bits = PixelBits(in.tif, &why);
    if (bits == 0) {
      *error = PageError(number, "not supported: " + why, in, out, source);
      return nullptr;
    }
    Page page;
    const uint32_t w = Field<uint32_t>(in.tif, TIFFTAG_IMAGEWIDTH, 0);
    const uint32_t h = Field<uint32_t>(in.tif, TIFFTAG_IMAGELENGTH, 0);
    if (!page.Make(w, h, bits, &why)) {
      *error = PageError(number, why, in, out, source);
      return nullptr;
    }
    if (!ReadPixels(in.tif, page) || !in.error.empty()) {
      *error = PageError(number, "damaged", in, out, source);
      return nullptr;
    }
    if (!page.Turn(turning.turns, &why)) {
      *error = PageError(number, why, in, out, source);
      return nullptr;
    }
    CopyTags(in.tif, out.tif, turning);
    if (!WritePixels(in.tif, out.tif, page) || !TIFFWriteDirectory(out.tif)) {
      *error = PageError(number, "cannot encode the turned page", in, out, source);
      return nullptr;
    }
    ++number;
  } while (TIFFReadDirectory(in.tif));
  // The end of the pages, or a page that could not be read.
  if (!in.error.empty()) {
    *error = PageError(number, "damaged", in, out, source);
    return nullptr;
  }
  TIFFClose(out.tif);
  out.tif = nullptr;
  if (!out.error.empty()) {
    *error = "cannot make the turned TIFF file (" + out.error + ")";
    return nullptr;
  }
  return std::make_unique<TurnedBytes>(std::move(turned));
}

}  // namespace quadturn::tool
