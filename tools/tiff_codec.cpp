// Decoding and encoding TIFF pages with libtiff over files in memory or read
// by offsets.
#include "tiff_codec.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace quadturn::tool {
namespace {

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

template <typename T>
T Field(TIFF* tif, ttag_t tag, T otherwise) {
  T v = otherwise;
  return TIFFGetFieldDefaulted(tif, tag, &v) ? v : otherwise;
}

template <typename T>
void CopyField(TIFF* in, TIFF* out, ttag_t tag) {
  T v;
  if (TIFFGetField(in, tag, &v)) TIFFSetField(out, tag, v);
}

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

// Copies `rows` rows of `bytes` bytes between buffers of different strides.
void CopyRows(const uint8_t* from, std::ptrdiff_t from_stride, uint8_t* to,
              std::ptrdiff_t to_stride, uint32_t rows, std::size_t bytes) {
  for (uint32_t r = 0; r < rows; ++r) {
    std::memcpy(to + r * to_stride, from + r * from_stride, bytes);
  }
}

// Tiles wider or longer than this, or than the page rounded up to TIFF's
// multiple of 16, are not a tiling of the page.
constexpr uint32_t kMostTileSide = 1024;

}  // namespace

bool ClientBytes::ReadAt(uint64_t offset, void* to, std::size_t n) {
  if (offset > f_->Size() || n > f_->Size() - offset) return false;
  if (f_->input != nullptr) {
    return f_->input->ReadAt(offset, to, n, &f_->read_error) == static_cast<int64_t>(n);
  }
  std::memcpy(to, f_->data + offset, n);
  return true;
}

Tiff::Tiff(ClientFile* file, const char* mode, uint64_t max_allocation) {
  // libtiff's own printing, for anything not said through a file's
  // handlers, is switched off.
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  // A damaged file's sizes must not make libtiff ask for more than a page
  // may take.
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(max_allocation));
  TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &error);
  TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, nullptr);
  tif = TIFFClientOpenExt("tiff", mode, file, ReadProc, WriteProc, SeekProc, CloseProc,
                          SizeProc, MapProc, UnmapProc, options);
  TIFFOpenOptionsFree(options);
}

Tiff::~Tiff() {
  if (tif != nullptr) TIFFClose(tif);
}

std::string Tiff::TakeError() {
  std::string e = std::move(error);
  error.clear();
  return e;
}

int PagePixelBits(TIFF* tif, std::string* why) {
  const uint16_t compression = Field<uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  // A page that does not say how to read its samples is grey: turning
  // does not look inside a pixel, and the turned page says no more.
  const uint16_t photometric = Field<uint16_t>(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  const uint16_t bits = Field<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
  const uint16_t samples = Field<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  const uint16_t planar = Field<uint16_t>(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  const uint16_t format = Field<uint16_t>(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  if (compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG) {
    *why = "JPEG-compressed (turning it would mean encoding it again, with loss; -t turns it "
           "by its Orientation tag)";
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

bool TilesFitPage(TIFF* tif, std::string* why) {
  if (!TIFFIsTiled(tif)) return true;
  const uint32_t w = Field<uint32_t>(tif, TIFFTAG_IMAGEWIDTH, 0);
  const uint32_t h = Field<uint32_t>(tif, TIFFTAG_IMAGELENGTH, 0);
  const uint32_t tw = Field<uint32_t>(tif, TIFFTAG_TILEWIDTH, 0);
  const uint32_t tl = Field<uint32_t>(tif, TIFFTAG_TILELENGTH, 0);
  auto fits = [](uint32_t tile, uint32_t side) {
    return tile > 0 && uint64_t{tile} <= std::max<uint64_t>((uint64_t{side} + 15) / 16 * 16,
                                                            kMostTileSide);
  };
  if (fits(tw, w) && fits(tl, h)) return true;
  *why = "damaged: tiles of " + std::to_string(tw) + " x " + std::to_string(tl) +
         " pixels for a page of " + std::to_string(w) + " x " + std::to_string(h);
  return false;
}

bool ReadPagePixels(TIFF* tif, const Page& page) {
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
  // Strips straight into the block where their rows are laid out as its.
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

bool EncodePage(TIFF* in, const Page& page, const TiffShape& shape, TiffWriter* out,
                EncodedPieces* pieces, std::string* error) {
  const uint32_t w = page.width(), h = page.height();
  std::string bytes;
  ClientFile scratch;
  scratch.bytes = &bytes;
  Tiff enc(&scratch, shape.big_endian ? "wb" : "wl", uint64_t{1} << 62);
  if (enc.tif == nullptr) {
    *error = "cannot start encoding (" + enc.TakeError() + ")";
    return false;
  }
  TIFF* tif = enc.tif;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
               Field<uint16_t>(in, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK));
  // The compression first: it brings its own tags (predictor, fax options).
  for (ttag_t tag : {TIFFTAG_COMPRESSION, TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLESPERPIXEL,
                     TIFFTAG_FILLORDER, TIFFTAG_PREDICTOR, TIFFTAG_SAMPLEFORMAT}) {
    CopyField<uint16_t>(in, tif, tag);
  }
  for (ttag_t tag : {TIFFTAG_GROUP3OPTIONS, TIFFTAG_GROUP4OPTIONS}) {
    CopyField<uint32_t>(in, tif, tag);
  }
  pieces->tiled = TIFFIsTiled(in) != 0;
  std::vector<uint8_t> buffer;
  const std::ptrdiff_t page_stride = page.stride();
  if (pieces->tiled) {
    const uint32_t tw = Field<uint32_t>(in, TIFFTAG_TILEWIDTH, 0);
    const uint32_t tl = Field<uint32_t>(in, TIFFTAG_TILELENGTH, 0);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, tw);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, tl);
    const tmsize_t tile_bytes = TIFFTileSize(tif), line = TIFFTileRowSize(tif);
    if (tile_bytes <= 0 || line <= 0) return false;
    buffer.resize(static_cast<std::size_t>(tile_bytes));
    for (uint32_t y = 0; y < h; y += tl) {
      for (uint32_t x = 0; x < w; x += tw) {
        // Edge tiles are padded with zeros beyond the image.
        std::fill(buffer.begin(), buffer.end(), 0);
        CopyRows(page.At(y, x), page_stride, buffer.data(), line, std::min(tl, h - y),
                 page.BytesOf(std::min(tw, w - x)));
        if (TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, x, y, 0, 0), buffer.data(),
                                 tile_bytes) < 0) {
          *error = enc.TakeError();
          return false;
        }
      }
    }
  } else {
    // The rows per strip the page had (a fax's 128 stay 128), and one strip
    // where it was one.
    const uint32_t in_rows = Field<uint32_t>(in, TIFFTAG_ROWSPERSTRIP, UINT32_MAX);
    const uint32_t per_strip =
        TIFFNumberOfStrips(in) <= 1 ? std::max<uint32_t>(h, 1) : std::max<uint32_t>(std::min(in_rows, h), 1);
    pieces->rows_per_strip = per_strip;
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, per_strip);
    const tmsize_t line = TIFFScanlineSize(tif);
    if (line <= 0) return h == 0;
    const bool direct = line == page_stride || h == 1;
    if (!direct) buffer.resize(static_cast<std::size_t>(line) * per_strip);
    for (uint32_t y = 0, strip = 0; y < h; y += per_strip, ++strip) {
      const uint32_t rows = std::min(per_strip, h - y);
      if (!direct) CopyRows(page.Row(y), page_stride, buffer.data(), line, rows, line);
      // libtiff may change the bytes it is given (predictor, fill order):
      // the page is not needed after.
      if (TIFFWriteEncodedStrip(tif, strip, direct ? page.Row(y) : buffer.data(), line * rows) <
          0) {
        *error = enc.TakeError();
        return false;
      }
    }
  }
  // The encoded pieces, from where libtiff put them.
  const uint32_t n = pieces->tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  for (uint32_t k = 0; k < n; ++k) {
    const uint64_t at = TIFFGetStrileOffset(tif, k), size = TIFFGetStrileByteCount(tif, k);
    if (at > bytes.size() || size > bytes.size() - at) {
      *error = "the encoder lost a strip";
      return false;
    }
    pieces->offsets.push_back(
        out->Append(bytes.data() + at, static_cast<std::size_t>(size), false));
    pieces->byte_counts.push_back(size);
  }
  return true;
}

}  // namespace quadturn::tool
