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

// A strip or tile: its number as libtiff counts them, its plane (of the
// separate planes; 0 otherwise), and the pixels it covers (at most; those
// past the page's edges are padding), in luma pixels for YCbCr.
struct Piece {
  uint32_t number;
  int plane;
  uint32_t x, y, width, height;
};

// The bytes of a piece as libtiff decodes and encodes it: rows of whole
// pixels, or for subsampled YCbCr rows of data units (h x v luma samples,
// then Cb and Cr).
struct PieceShape {
  std::size_t row_bytes;  // a row of pixels, or of data units
  uint32_t rows;          // rows of pixels, or of data units
  std::size_t Bytes() const { return row_bytes * rows; }
};

uint32_t Ceil(uint32_t n, uint32_t d) { return static_cast<uint32_t>((uint64_t{n} + d - 1) / d); }

PieceShape ShapeOf(const PixelLayout& l, const Piece& p) {
  if (l.Subsampled()) {
    const std::size_t unit = std::size_t(l.sub_h) * l.sub_v + 2;
    return {Ceil(p.width, l.sub_h) * unit, Ceil(p.height, l.sub_v)};
  }
  return {static_cast<std::size_t>((uint64_t{p.width} * l.PlaneBits() + 7) / 8), p.height};
}

// Calls visit(piece) for every strip or tile of the page in libtiff's
// order, plane by plane; stops at the first false.
template <typename Visit>
bool ForEachPiece(const PixelLayout& l, Visit visit) {
  const int planes = l.separate ? l.samples : 1;
  uint32_t number = 0;
  for (int s = 0; s < planes; ++s) {
    if (l.tiled) {
      for (uint32_t y = 0; y < l.height; y += l.tile_length) {
        for (uint32_t x = 0; x < l.width; x += l.tile_width) {
          if (!visit(Piece{number++, s, x, y, l.tile_width, l.tile_length})) return false;
          if (l.width - x <= l.tile_width) break;
        }
        if (l.height - y <= l.tile_length) break;
      }
    } else {
      for (uint32_t y = 0; y < l.height; y += l.rows_per_strip) {
        const uint32_t rows = std::min(l.rows_per_strip, l.height - y);
        if (!visit(Piece{number++, s, 0, y, l.width, rows})) return false;
        if (l.height - y <= l.rows_per_strip) break;
      }
    }
  }
  return true;
}

// Moves a piece's pixels between its bytes as libtiff has them and the
// planes, either way; what lies outside the page is left alone.
void MovePiece(const PixelLayout& l, const Piece& p, uint8_t* bytes, std::vector<Plane>& planes,
               bool to_planes) {
  const PieceShape shape = ShapeOf(l, p);
  if (!l.Subsampled()) {
    Plane& plane = planes[static_cast<std::size_t>(p.plane)];
    const uint32_t rows = std::min(p.height, l.height - p.y);
    const std::size_t n = plane.BytesOf(std::min(p.width, l.width - p.x));
    for (uint32_t r = 0; r < rows; ++r) {
      uint8_t* piece_row = bytes + r * shape.row_bytes;
      uint8_t* plane_row = plane.At(p.y + r, p.x);
      std::memcpy(to_planes ? plane_row : piece_row, to_planes ? piece_row : plane_row, n);
    }
    return;
  }
  const uint32_t h = static_cast<uint32_t>(l.sub_h), v = static_cast<uint32_t>(l.sub_v);
  const std::size_t unit = std::size_t{h} * v + 2;
  Plane &luma = planes[0], &cb = planes[1], &cr = planes[2];
  const uint32_t across = Ceil(p.width, h);
  for (uint32_t uy = 0; uy < shape.rows; ++uy) {
    const uint32_t gy = p.y / v + uy;
    if (gy >= cb.height()) break;
    for (uint32_t ux = 0; ux < across; ++ux) {
      const uint32_t gx = p.x / h + ux;
      if (gx >= cb.width()) break;
      uint8_t* u = bytes + (std::size_t{uy} * across + ux) * unit;
      auto move = [&](uint8_t* sample, uint8_t* at) { to_planes ? *at = *sample : *sample = *at; };
      for (uint32_t j = 0; j < v; ++j) {
        for (uint32_t i = 0; i < h; ++i) move(u + j * h + i, luma.Row(gy * v + j) + gx * h + i);
      }
      move(u + h * v, cb.Row(gy) + gx);
      move(u + h * v + 1, cr.Row(gy) + gx);
    }
  }
}

// Tiles wider or longer than this, or than the page rounded up to TIFF's
// multiple of 16, are not a tiling of the page.
constexpr uint32_t kMostTileSide = 1024;

const char kByTag[] = "; -t turns it by its Orientation tag";

// A YCbCr page's subsampling: 1, 2 or 4 each way, and subsampled pixels
// only as 8-bit samples interleaved.
bool ReadSubsampling(TIFF* tif, PixelLayout* l, std::string* why) {
  uint16_t h = 2, v = 2;
  TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &h, &v);
  l->sub_h = h;
  l->sub_v = v;
  auto factor = [](uint16_t f) { return f == 1 || f == 2 || f == 4; };
  if (!factor(h) || !factor(v) || v > h) {
    *why = "damaged: YCbCr subsampling " + std::to_string(h) + " x " + std::to_string(v);
    return false;
  }
  if (l->Subsampled() && (l->separate || l->bits_per_sample != 8)) {
    *why = "not supported: YCbCr subsampled " + std::to_string(h) + " x " + std::to_string(v) + " with " +
           (l->separate ? std::string("separate planes") :
                          std::to_string(l->bits_per_sample) + "-bit samples") + kByTag;
    return false;
  }
  return true;
}

// The strips or tiles, which start on whole bytes and whole data units.
bool ReadPieces(TIFF* tif, PixelLayout* l, std::string* why) {
  l->tiled = TIFFIsTiled(tif) != 0;
  if (l->tiled) {
    l->tile_width = Field<uint32_t>(tif, TIFFTAG_TILEWIDTH, 0);
    l->tile_length = Field<uint32_t>(tif, TIFFTAG_TILELENGTH, 0);
    // Tiles start on whole bytes and whole data units.
    if (l->tile_width == 0 || l->tile_length == 0 ||
        uint64_t{l->tile_width} * l->PlaneBits() % 8 != 0 || l->tile_width % l->sub_h != 0 ||
        l->tile_length % l->sub_v != 0) {
      *why = "damaged: tiles of " + std::to_string(l->tile_width) + " x " +
             std::to_string(l->tile_length) + " pixels";
      return false;
    }
  } else {
    l->rows_per_strip = std::min(Field<uint32_t>(tif, TIFFTAG_ROWSPERSTRIP, l->height), l->height);
    if (l->rows_per_strip == 0) l->rows_per_strip = std::max<uint32_t>(l->height, 1);
    if (l->rows_per_strip < l->height && l->rows_per_strip % l->sub_v != 0) {
      *why = "damaged: strips of " + std::to_string(l->rows_per_strip) +
             " rows, not whole YCbCr data units";
      return false;
    }
  }
  return true;
}

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

uint32_t PixelLayout::PlaneWidth(int plane) const {
  if (!Subsampled()) return width;
  return Ceil(width, sub_h) * (plane == 0 ? sub_h : 1);
}

uint32_t PixelLayout::PlaneHeight(int plane) const {
  if (!Subsampled()) return height;
  return Ceil(height, sub_v) * (plane == 0 ? sub_v : 1);
}

uint64_t PixelLayout::Bytes() const {
  uint64_t total = 0;
  for (int k = 0; k < PlaneCount(); ++k) {
    total += (uint64_t{PlaneWidth(k)} * PlaneBits() + 7) / 8 * PlaneHeight(k);
  }
  return total;
}

PixelLayout PixelLayout::Turned(int type) const {
  PixelLayout t = *this;
  if ((type & 1) != 0) std::swap(t.width, t.height);
  return t;
}

bool ReadPixelLayout(TIFF* tif, PixelLayout* l, std::string* why) {
  const uint16_t compression = Field<uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  const uint16_t photometric = Field<uint16_t>(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  const uint16_t planar = Field<uint16_t>(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  l->bits_per_sample = Field<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
  l->samples = Field<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  l->width = Field<uint32_t>(tif, TIFFTAG_IMAGEWIDTH, 0);
  l->height = Field<uint32_t>(tif, TIFFTAG_IMAGELENGTH, 0);
  l->separate = planar == PLANARCONFIG_SEPARATE && l->samples > 1;
  if (compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG) {
    *why = std::string("not supported: ") + (compression == COMPRESSION_OJPEG ? "old-style " : "") +
           "JPEG-compressed (turning it would mean encoding it again, with loss)" + kByTag;
    return false;
  }
  if (!CompressionKept(compression)) {
    *why = "not supported: " + CompressionName(compression) + " compression, which this tool cannot write back" +
           kByTag;
    return false;
  }
  if (l->bits_per_sample == 0 || l->samples == 0) {
    *why = "damaged: " + std::to_string(l->bits_per_sample) + " bits per sample, " +
           std::to_string(l->samples) + " samples per pixel";
    return false;
  }
  if (photometric == PHOTOMETRIC_YCBCR && l->samples == 3 && !ReadSubsampling(tif, l, why)) {
    return false;
  }
  if (l->width > 0x7FFFFFFF || l->height > 0x7FFFFFFF) {
    *why = "too large: a page of " + std::to_string(l->width) + " x " + std::to_string(l->height) +
           " pixels";
    return false;
  }
  if (l->PlaneBits() > 0xFFFF) {
    *why = "not supported: pixels of " + std::to_string(l->PlaneBits()) + " bits";
    return false;
  }
  return ReadPieces(tif, l, why);
}

bool TurnKeepsEveryPixel(const PixelLayout& l, int type, std::string* why) {
  if (!l.Subsampled()) return true;
  const std::string units = "not supported: YCbCr subsampled " + std::to_string(l.sub_h) + " x " +
                            std::to_string(l.sub_v);
  const std::string by_tag = "; -t turns it by its Orientation tag";
  if ((type & 1) != 0 && l.sub_h != l.sub_v) {
    *why = units + " cannot be turned a quarter turn or transposed (a TIFF cannot state the "
                   "turned subsampling)" + by_tag;
    return false;
  }
  // The stored axes the type reverses: an edge data unit only partly inside
  // the page would come to the other edge, where it cannot be.
  const bool x_reversed = type == 2 || type == 3 || type == 4 || type == 7;
  const bool y_reversed = type == 1 || type == 2 || type == 6 || type == 7;
  const bool width_whole = l.width % l.sub_h == 0, height_whole = l.height % l.sub_v == 0;
  if ((x_reversed && !width_whole) || (y_reversed && !height_whole)) {
    const bool across = x_reversed && !width_whole;
    *why = units + " with a " + (across ? "width" : "height") + " of " +
           std::to_string(across ? l.width : l.height) + ", not whole data units: turned this "
           "way its colour would move against its detail" + by_tag;
    return false;
  }
  return true;
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

bool ReadPagePixels(TIFF* tif, const PixelLayout& l, std::vector<Plane>& planes) {
  std::vector<uint8_t> buffer;
  return ForEachPiece(l, [&](const Piece& p) {
    const PieceShape shape = ShapeOf(l, p);
    // Strips go straight into a plane where their rows are laid out as its.
    const bool direct = !l.tiled && !l.Subsampled();
    uint8_t* to = direct ? planes[static_cast<std::size_t>(p.plane)].Row(p.y) : nullptr;
    if (!direct) {
      buffer.assign(shape.Bytes(), 0);
      to = buffer.data();
    }
    const tmsize_t size = static_cast<tmsize_t>(shape.Bytes());
    // What a decoder leaves out of a damaged piece (a fax decoder may skip
    // the rest of a row) is zero, not whatever the memory held: the piece
    // is cleared just before it is decoded, never the page ahead of time.
    if (direct) std::memset(to, 0, static_cast<std::size_t>(size));
    const tmsize_t got = l.tiled ? TIFFReadEncodedTile(tif, p.number, to, size)
                                 : TIFFReadEncodedStrip(tif, p.number, to, size);
    if (got < 0) return false;
    if (!direct) MovePiece(l, p, to, planes, true);
    return true;
  });
}

// The turned page's fields, as the page had them, in the encoder, with
// `turned` (the layout `l` turned) given its rows per strip.
void SetPageFields(TIFF* in, const PixelLayout& l, TIFF* tif, PixelLayout* turned,
                   EncodedPieces* pieces) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, l.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, l.height);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
               Field<uint16_t>(in, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK));
  // The compression first: it brings its own tags (predictor, fax options).
  for (ttag_t tag : {TIFFTAG_COMPRESSION, TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLESPERPIXEL,
                     TIFFTAG_PLANARCONFIG, TIFFTAG_FILLORDER, TIFFTAG_PREDICTOR,
                     TIFFTAG_SAMPLEFORMAT}) {
    CopyField<uint16_t>(in, tif, tag);
  }
  for (ttag_t tag : {TIFFTAG_GROUP3OPTIONS, TIFFTAG_GROUP4OPTIONS}) {
    CopyField<uint32_t>(in, tif, tag);
  }
  if (l.Subsampled()) {
    TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, static_cast<uint16_t>(l.sub_h),
                 static_cast<uint16_t>(l.sub_v));
  }
  pieces->tiled = l.tiled;
  if (l.tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, l.tile_width);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, l.tile_length);
  } else {
    // The rows per strip the page had (a fax's 128 stay 128), and one strip
    // where it was one.
    const uint32_t in_rows = Field<uint32_t>(in, TIFFTAG_ROWSPERSTRIP, UINT32_MAX);
    const uint32_t in_height = Field<uint32_t>(in, TIFFTAG_IMAGELENGTH, 0);
    turned->rows_per_strip = in_rows >= in_height ? std::max<uint32_t>(l.height, 1)
                                                 : std::max<uint32_t>(std::min(in_rows, l.height), 1);
    pieces->rows_per_strip = turned->rows_per_strip;
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, turned->rows_per_strip);
  }
}

bool EncodePage(TIFF* in, const PixelLayout& l, std::vector<Plane>& planes,
                const TiffShape& shape, TiffWriter* out, EncodedPieces* pieces,
                std::string* error) {
  std::string bytes;
  ClientFile scratch;
  scratch.bytes = &bytes;
  Tiff enc(&scratch, shape.big_endian ? "wb" : "wl", uint64_t{1} << 62);
  if (enc.tif == nullptr) {
    *error = "cannot start encoding (" + enc.TakeError() + ")";
    return false;
  }
  TIFF* tif = enc.tif;
  PixelLayout turned = l;
  SetPageFields(in, l, tif, &turned, pieces);
  std::vector<uint8_t> buffer;
  const bool written = ForEachPiece(turned, [&](const Piece& p) {
    const PieceShape piece = ShapeOf(turned, p);
    // Strips go straight from a plane where their rows are laid out as its;
    // edge tiles are padded with zeros beyond the image.
    const bool direct = !l.tiled && !l.Subsampled();
    uint8_t* from = direct ? planes[static_cast<std::size_t>(p.plane)].Row(p.y) : nullptr;
    if (!direct) {
      buffer.assign(piece.Bytes(), 0);
      MovePiece(turned, p, buffer.data(), planes, false);
      from = buffer.data();
    }
    const tmsize_t size = static_cast<tmsize_t>(piece.Bytes());
    return (l.tiled ? TIFFWriteEncodedTile(tif, p.number, from, size)
                    : TIFFWriteEncodedStrip(tif, p.number, from, size)) >= 0;
  });
  if (!written) {
    *error = enc.TakeError();
    return false;
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
