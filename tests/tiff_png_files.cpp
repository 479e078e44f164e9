// Writing and reading TIFF and PNG files in memory for the tool's tests.
#include "tiff_png_files.h"

#include <spng.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quadturn::test {
namespace {

std::size_t RowBytes(uint32_t width, int bits) { return (std::size_t{width} * bits + 7) / 8; }

// Classic TIFF and EXIF fields in either byte order.
uint32_t Get(const Bytes& b, std::size_t at, int n, bool big) {
  uint32_t v = 0;
  for (int k = 0; k < n; ++k) v |= uint32_t{b.at(at + k)} << 8 * (big ? n - 1 - k : k);
  return v;
}
void Set(Bytes& b, std::size_t at, int n, uint32_t v, bool big) {
  if (b.size() < at + n) b.resize(at + n);
  for (int k = 0; k < n; ++k) b[at + k] = static_cast<uint8_t>(v >> 8 * (big ? n - 1 - k : k));
}
int TypeBytes(uint16_t type) {
  static const int kBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type < 14 ? kBytes[type] : 8;
}

bool IsSubDirectory(uint16_t tag) { return tag == 34665 || tag == 34853; }

// The entries of the classic TIFF directory at `at`, and the next one's
// offset.
std::vector<RawTag> Entries(const Bytes& f, uint32_t at, bool big, uint32_t* next) {
  std::vector<RawTag> tags;
  const uint32_t n = Get(f, at, 2, big);
  for (uint32_t k = 0; k < n; ++k) {
    const std::size_t e = at + 2 + 12 * k;
    RawTag t{static_cast<uint16_t>(Get(f, e, 2, big)), static_cast<uint16_t>(Get(f, e + 2, 2, big)),
             Get(f, e + 4, 4, big), {}};
    const std::size_t bytes = std::size_t{t.count} * TypeBytes(t.type);
    const std::size_t from = bytes <= 4 ? e + 8 : Get(f, e + 8, 4, big);
    t.value.assign(f.begin() + from, f.begin() + from + bytes);
    if (IsSubDirectory(t.tag)) {
      uint32_t ignored;
      t.sub = Entries(f, Get(f, e + 8, 4, big), big, &ignored);
      t.value.clear();
    }
    tags.push_back(std::move(t));
  }
  *next = Get(f, at + 2 + 12 * n, 4, big);
  return tags;
}

// A directory of `tags` appended to the file (values first); its offset.
uint32_t AppendDirectory(Bytes& f, std::vector<RawTag> tags, uint32_t next, bool big) {
  std::sort(tags.begin(), tags.end(), [](auto& a, auto& b) { return a.tag < b.tag; });
  for (RawTag& t : tags) {
    if (!t.sub.empty()) {
      t.type = 4;
      t.count = 1;
      t.value.clear();
      Set(t.value, 0, 4, AppendDirectory(f, t.sub, 0, big), big);
    }
  }
  Bytes ifd(2 + 12 * tags.size() + 4, 0);
  Set(ifd, 0, 2, static_cast<uint32_t>(tags.size()), big);
  for (std::size_t k = 0; k < tags.size(); ++k) {
    const RawTag& t = tags[k];
    Set(ifd, 2 + 12 * k, 2, t.tag, big);
    Set(ifd, 4 + 12 * k, 2, t.type, big);
    Set(ifd, 6 + 12 * k, 4, t.count, big);
    if (t.value.size() <= 4) {
      std::copy(t.value.begin(), t.value.end(), ifd.begin() + 10 + 12 * k);
    } else {
      if (f.size() % 2) f.push_back(0);
      Set(ifd, 10 + 12 * k, 4, static_cast<uint32_t>(f.size()), big);
      f.insert(f.end(), t.value.begin(), t.value.end());
    }
  }
  Set(ifd, ifd.size() - 4, 4, next, big);
  if (f.size() % 2) f.push_back(0);
  const uint32_t at = static_cast<uint32_t>(f.size());
  f.insert(f.end(), ifd.begin(), ifd.end());
  return at;
}

// Every page's directory written again at the end of the file with `tags`
// in place of the same-numbered ones.
Bytes WithTags(Bytes f, const std::vector<RawTag>& extra) {
  const bool big = f[0] == 'M';
  std::size_t link = 4;
  for (uint32_t at = Get(f, 4, 4, big), next = 0; at != 0; at = next) {
    std::vector<RawTag> tags = Entries(f, at, big, &next);
    for (const RawTag& x : extra) {
      std::erase_if(tags, [&](const RawTag& t) { return t.tag == x.tag; });
      tags.push_back(x);
    }
    const uint32_t written = AppendDirectory(f, tags, next, big);
    Set(f, link, 4, written, big);
    link = written + 2 + 12 * tags.size();
  }
  return f;
}

Bytes Chunk(const RawChunk& c) {
  Bytes b;
  b.reserve(12 + c.data.size());
  const uint32_t size = static_cast<uint32_t>(c.data.size());
  for (int k = 24; k >= 0; k -= 8) b.push_back(static_cast<uint8_t>(size >> k));
  for (char letter : c.type) b.push_back(static_cast<uint8_t>(letter));
  for (uint8_t v : c.data) b.push_back(v);
  const uint32_t crc = static_cast<uint32_t>(crc32(0, b.data() + 4, static_cast<uInt>(b.size() - 4)));
  for (int k = 24; k >= 0; k -= 8) b.push_back(static_cast<uint8_t>(crc >> k));
  return b;
}

// The chunks of a PNG file but IHDR, IDAT and IEND.
std::vector<RawChunk> ChunksOf(const Bytes& f) {
  std::vector<RawChunk> chunks;
  bool after = false;
  for (std::size_t at = 8; at + 12 <= f.size();) {
    const uint32_t n = Get(f, at, 4, true);
    const std::string type(f.begin() + at + 4, f.begin() + at + 8);
    if (type == "IDAT") after = true;
    if (type != "IHDR" && type != "IDAT" && type != "IEND") {
      chunks.push_back({type, Bytes(f.begin() + at + 8, f.begin() + at + 8 + n), after});
    }
    at += 12 + n;
  }
  return chunks;
}

// Chunks put into a PNG file where they say: before the image data or
// before IEND.
Bytes WithChunks(const Bytes& f, const std::vector<RawChunk>& extra) {
  Bytes out(f.begin(), f.begin() + 8);
  bool placed = false;
  for (std::size_t at = 8; at + 12 <= f.size();) {
    const uint32_t n = Get(f, at, 4, true);
    const std::string type(f.begin() + at + 4, f.begin() + at + 8);
    if ((type == "IDAT" && !placed) || type == "IEND") {
      for (const RawChunk& c : extra) {
        if (c.after_image == (type == "IEND")) {
          const Bytes b = Chunk(c);
          out.insert(out.end(), b.begin(), b.end());
        }
      }
      placed = true;
    }
    out.insert(out.end(), f.begin() + at, f.begin() + at + 12 + n);
    at += 12 + n;
  }
  return out;
}

// A TIFF in memory through libtiff's client I/O.
struct Memory {
  Bytes bytes;
  uint64_t at = 0;
};

tmsize_t Read(thandle_t h, void* to, tmsize_t n) {
  auto* m = static_cast<Memory*>(h);
  const uint64_t left = m->at < m->bytes.size() ? m->bytes.size() - m->at : 0;
  const uint64_t count = std::min<uint64_t>(n, left);
  std::memcpy(to, m->bytes.data() + m->at, count);
  m->at += count;
  return static_cast<tmsize_t>(count);
}
tmsize_t Write(thandle_t h, void* from, tmsize_t n) {
  auto* m = static_cast<Memory*>(h);
  if (m->at + n > m->bytes.size()) m->bytes.resize(m->at + n);
  std::memcpy(m->bytes.data() + m->at, from, n);
  m->at += n;
  return n;
}
toff_t Seek(thandle_t h, toff_t offset, int whence) {
  auto* m = static_cast<Memory*>(h);
  m->at = (whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->bytes.size() : 0) + offset;
  return m->at;
}
int Close(thandle_t) { return 0; }
toff_t Size(thandle_t h) { return static_cast<Memory*>(h)->bytes.size(); }
int Map(thandle_t, void**, toff_t*) { return 0; }
void Unmap(thandle_t, void*, toff_t) {}

TIFF* Open(Memory* m, const char* mode) {
  return TIFFClientOpen("test", mode, m, Read, Write, Seek, Close, Size, Map, Unmap);
}

// n bits from bit `from_at` of `from` to bit `to_at` of `to`, one at a
// time, the first bit of a byte its most significant.
void CopyBits(const uint8_t* from, uint64_t from_at, uint8_t* to, uint64_t to_at, int n) {
  for (int k = 0; k < n; ++k) {
    const uint64_t s = from_at + k, d = to_at + k;
    const int bit = (from[s / 8] >> (7 - s % 8)) & 1;
    to[d / 8] = static_cast<uint8_t>((to[d / 8] & ~(0x80 >> d % 8)) | (bit << (7 - d % 8)));
  }
}

// Colour channels of a photometric interpretation; a pixel's other samples
// are extra ones (alpha).
int Channels(int photometric) {
  switch (photometric) {
    case PHOTOMETRIC_RGB: case PHOTOMETRIC_YCBCR: case PHOTOMETRIC_CIELAB: return 3;
    case PHOTOMETRIC_SEPARATED: return 4;
  }
  return 1;
}

bool Subsampled(const Layout& l) { return l.sub_h * l.sub_v > 1; }

// Sample s of every pixel of p as a plane of its own, or (back) such a
// plane into p.
Picture PlaneOf(const Picture& p, const Layout& l, int s) {
  const int bits = l.bits_per_sample;
  Picture plane{p.width, p.height, Bytes(RowBytes(p.width, bits) * p.height)};
  for (uint32_t y = 0; y < p.height; ++y) {
    for (uint32_t x = 0; x < p.width; ++x) {
      CopyBits(p.rows.data() + y * RowBytes(p.width, l.BitsPerPixel()),
               (uint64_t{x} * l.samples + s) * bits,
               plane.rows.data() + y * RowBytes(p.width, bits), uint64_t{x} * bits, bits);
    }
  }
  return plane;
}
void PutPlane(const Picture& plane, const Layout& l, int s, Picture* p) {
  const int bits = l.bits_per_sample;
  for (uint32_t y = 0; y < p->height; ++y) {
    for (uint32_t x = 0; x < p->width; ++x) {
      CopyBits(plane.rows.data() + y * RowBytes(p->width, bits), uint64_t{x} * bits,
               p->rows.data() + y * RowBytes(p->width, l.BitsPerPixel()),
               (uint64_t{x} * l.samples + s) * bits, bits);
    }
  }
}

// A YCbCr strip of `rows` rows from row y as data units (h x v luma samples,
// then Cb and Cr), from pixels of 8-bit Y, Cb, Cr whose chroma is the same
// across each unit; and back. Luma outside the page is 0.
Bytes UnitsOf(const Picture& p, const Layout& l, uint32_t y, uint32_t rows) {
  const uint32_t h = l.sub_h, v = l.sub_v, across = (p.width + h - 1) / h;
  Bytes units;
  for (uint32_t uy = 0; uy < (rows + v - 1) / v; ++uy) {
    for (uint32_t ux = 0; ux < across; ++ux) {
      const uint8_t* first = p.rows.data() + (y + uy * v) * p.width * 3 + ux * h * 3;
      for (uint32_t j = 0; j < v; ++j) {
        for (uint32_t i = 0; i < h; ++i) {
          const uint32_t px = ux * h + i, py = y + uy * v + j;
          units.push_back(px < p.width && py < p.height ? p.rows[(py * p.width + px) * 3] : 0);
        }
      }
      units.push_back(first[1]);
      units.push_back(first[2]);
    }
  }
  return units;
}
void FromUnits(const uint8_t* units, const Layout& l, uint32_t y, uint32_t rows, Picture* p) {
  const uint32_t h = l.sub_h, v = l.sub_v, across = (p->width + h - 1) / h;
  for (uint32_t uy = 0; uy < (rows + v - 1) / v; ++uy) {
    for (uint32_t ux = 0; ux < across; ++ux) {
      const uint8_t* u = units + (uy * across + ux) * (h * v + 2);
      for (uint32_t j = 0; j < v; ++j) {
        for (uint32_t i = 0; i < h; ++i) {
          const uint32_t px = ux * h + i, py = y + uy * v + j;
          if (px >= p->width || py >= p->height) continue;
          uint8_t* pixel = p->rows.data() + (py * p->width + px) * 3;
          pixel[0] = u[j * h + i];
          pixel[1] = u[h * v];
          pixel[2] = u[h * v + 1];
        }
      }
    }
  }
}

Bytes WriteTiff(const Layout& l, const std::vector<Picture>& pages) {
  Memory m;
  TIFF* tif = Open(&m, l.big_endian ? "wb" : "wl");
  for (std::size_t k = 0; k < pages.size(); ++k) {
    const Picture& p = pages[k];
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bits_per_sample);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.colour);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, l.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    if (l.sample_format != SAMPLEFORMAT_UINT) TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, l.sample_format);
    if (l.predictor != 1) TIFFSetField(tif, TIFFTAG_PREDICTOR, l.predictor);
    if (l.colour == PHOTOMETRIC_YCBCR) {
      TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, static_cast<uint16_t>(l.sub_h),
                   static_cast<uint16_t>(l.sub_v));
    }
    TIFFSetField(tif, TIFFTAG_ORIENTATION, l.orientation);
    if (l.samples > Channels(l.colour)) {
      const std::vector<uint16_t> extra(l.samples - Channels(l.colour), EXTRASAMPLE_UNASSALPHA);
      TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(extra.size()), extra.data());
    }
    if (l.x_res > 0) {
      TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
      TIFFSetField(tif, TIFFTAG_XRESOLUTION, l.x_res);
      TIFFSetField(tif, TIFFTAG_YRESOLUTION, l.y_res);
    }
    if (!l.text.empty()) TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, l.text.c_str());
    if (!l.profile.empty()) {
      TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(l.profile.size()),
                   l.profile.data());
    }
    std::vector<uint16_t> map(l.colour == PHOTOMETRIC_PALETTE ? 3u << l.bits_per_sample : 0);
    for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<uint16_t>(i * 997);
    if (l.colour == PHOTOMETRIC_PALETTE) {
      const std::size_t n = map.size() / 3;
      TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
    }
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(k),
                 static_cast<uint16_t>(pages.size()));
    // One plane of whole pixels, or one per sample.
    std::vector<Picture> planes;
    for (int s = 0; s < (l.planar ? l.samples : 1); ++s) {
      planes.push_back(l.planar ? PlaneOf(p, l, s) : p);
    }
    const int bits = l.planar ? l.bits_per_sample : l.BitsPerPixel();
    const std::size_t line = RowBytes(p.width, bits);
    if (l.tile > 0) {
      TIFFSetField(tif, TIFFTAG_TILEWIDTH, l.tile);
      TIFFSetField(tif, TIFFTAG_TILELENGTH, l.tile);
      const std::size_t tile_line = RowBytes(l.tile, bits);
      Bytes tile(static_cast<std::size_t>(TIFFTileSize(tif)));
      for (int s = 0; s < static_cast<int>(planes.size()); ++s) {
        for (uint32_t y = 0; y < p.height; y += l.tile) {
          for (uint32_t x = 0; x < p.width; x += l.tile) {
            std::fill(tile.begin(), tile.end(), 0);
            const uint32_t cols = std::min(l.tile, p.width - x);
            for (uint32_t r = 0; r < l.tile && y + r < p.height; ++r) {
              std::memcpy(tile.data() + r * tile_line,
                          planes[s].rows.data() + (y + r) * line + std::size_t{x} * bits / 8,
                          RowBytes(cols, bits));
            }
            TIFFWriteTile(tif, tile.data(), x, y, 0, static_cast<uint16_t>(s));
          }
        }
      }
    } else if (Subsampled(l)) {
      const uint32_t rows = l.rows_per_strip > 0 ? l.rows_per_strip : p.height;
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
      for (uint32_t y = 0, strip = 0; y < p.height; y += rows, ++strip) {
        Bytes units = UnitsOf(p, l, y, std::min(rows, p.height - y));
        TIFFWriteEncodedStrip(tif, strip, units.data(), static_cast<tmsize_t>(units.size()));
      }
    } else {
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                   l.rows_per_strip > 0 ? l.rows_per_strip : TIFFDefaultStripSize(tif, 0));
      Bytes row(line);
      for (int s = 0; s < static_cast<int>(planes.size()); ++s) {
        for (uint32_t y = 0; y < p.height; ++y) {
          std::memcpy(row.data(), planes[s].rows.data() + y * line, line);
          TIFFWriteScanline(tif, row.data(), y, static_cast<uint16_t>(s));
        }
      }
    }
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  return l.tags.empty() ? m.bytes : WithTags(m.bytes, l.tags);
}

bool ReadTiff(const Bytes& file, Layout* l, std::vector<Picture>* pages, std::string* error) {
  Memory m{file, 0};
  TIFF* tif = Open(&m, "r");
  if (tif == nullptr) {
    *error = "not a TIFF";
    return false;
  }
  l->container = Container::kTiff;
  uint32_t next = 0;
  const bool big = file[0] == 'M';
  l->big_endian = big;
  l->tags = Entries(file, Get(file, 4, 4, big), big, &next);
  bool ok = true;
  do {
    uint32_t w = 0, h = 0, tile = 0, rows_per_strip = 0;
    uint16_t bits = 1, samples = 1, photometric = 0, compression = 1, predictor = 1;
    uint16_t orientation = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    uint16_t sub_h = 1, sub_v = 1;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_PREDICTOR, &predictor);
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tile);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
    if (photometric == PHOTOMETRIC_YCBCR) TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &sub_h, &sub_v);
    l->orientation = orientation;
    l->colour = photometric;
    l->bits_per_sample = bits;
    l->samples = samples;
    l->compression = compression;
    l->predictor = predictor;
    l->tile = tile;
    l->planar = planar == PLANARCONFIG_SEPARATE && samples > 1;
    l->sample_format = format;
    l->sub_h = sub_h;
    l->sub_v = sub_v;
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &l->x_res);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &l->y_res);
    char* text = nullptr;
    if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text)) l->text = text;
    uint32_t count = 0;
    void* profile = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &count, &profile)) {
      l->profile.assign(static_cast<uint8_t*>(profile), static_cast<uint8_t*>(profile) + count);
    }
    Picture p{w, h, Bytes(RowBytes(w, l->BitsPerPixel()) * h)};
    const int plane_bits = l->planar ? bits : l->BitsPerPixel();
    const std::size_t line = RowBytes(w, plane_bits);
    if (Subsampled(*l) && tile == 0) {
      Bytes units(static_cast<std::size_t>(TIFFStripSize(tif)));
      for (uint32_t y = 0, strip = 0; y < h && ok; y += rows_per_strip, ++strip) {
        ok = TIFFReadEncodedStrip(tif, strip, units.data(), -1) >= 0;
        FromUnits(units.data(), *l, y, std::min(rows_per_strip, h - y), &p);
      }
    }
    for (int s = 0; s < (l->planar ? samples : 1) && !Subsampled(*l); ++s) {
      Picture plane{w, h, Bytes(line * h)};
      if (tile > 0) {
        Bytes t(static_cast<std::size_t>(TIFFTileSize(tif)));
        const std::size_t tile_line = RowBytes(tile, plane_bits);
        for (uint32_t y = 0; y < h && ok; y += tile) {
          for (uint32_t x = 0; x < w && ok; x += tile) {
            ok = TIFFReadTile(tif, t.data(), x, y, 0, static_cast<uint16_t>(s)) >= 0;
            for (uint32_t r = 0; r < tile && y + r < h; ++r) {
              std::memcpy(plane.rows.data() + (y + r) * line + std::size_t{x} * plane_bits / 8,
                          t.data() + r * tile_line, RowBytes(std::min(tile, w - x), plane_bits));
            }
          }
        }
      } else {
        for (uint32_t y = 0; y < h && ok; ++y) {
          ok = TIFFReadScanline(tif, plane.rows.data() + y * line, y, static_cast<uint16_t>(s)) >= 0;
        }
      }
      if (l->planar) {
        PutPlane(plane, *l, s, &p);
      } else {
        p = std::move(plane);
      }
    }
    pages->push_back(std::move(p));
  } while (ok && TIFFReadDirectory(tif));
  TIFFClose(tif);
  if (!ok) *error = "cannot read a page";
  return ok;
}

int WriteToBytes(spng_ctx*, void* user, void* from, std::size_t n) {
  auto* b = static_cast<Bytes*>(user);
  b->insert(b->end(), static_cast<uint8_t*>(from), static_cast<uint8_t*>(from) + n);
  return 0;
}

Bytes WritePng(const Layout& l, const Picture& p) {
  Bytes out;
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_png_stream(ctx, WriteToBytes, &out);
  spng_ihdr ihdr{p.width, p.height, static_cast<uint8_t>(l.bits_per_sample),
                 static_cast<uint8_t>(l.colour), 0, 0, static_cast<uint8_t>(l.compression)};
  spng_set_ihdr(ctx, &ihdr);
  if (l.colour == SPNG_COLOR_TYPE_INDEXED) {
    spng_plte plte{};
    plte.n_entries = 1u << l.bits_per_sample;
    for (uint32_t i = 0; i < plte.n_entries; ++i) {
      plte.entries[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                         static_cast<uint8_t>(i * 7), 0};
    }
    spng_set_plte(ctx, &plte);
    spng_trns trns{};
    trns.n_type3_entries = 1;
    trns.type3_alpha[0] = 0;
    spng_set_trns(ctx, &trns);
  }
  if (l.x_res > 0) {
    spng_phys phys{static_cast<uint32_t>(l.x_res / 0.0254f + 0.5f),
                   static_cast<uint32_t>(l.y_res / 0.0254f + 0.5f), 1};
    spng_set_phys(ctx, &phys);
  }
  spng_text text{};
  if (!l.text.empty()) {
    std::strcpy(text.keyword, "Comment");
    text.type = SPNG_TEXT;
    text.length = l.text.size();
    text.text = const_cast<char*>(l.text.c_str());
    spng_set_text(ctx, &text, 1);
  }
  spng_iccp iccp{};
  if (!l.profile.empty()) {
    std::strcpy(iccp.profile_name, "test");
    iccp.profile_len = l.profile.size();
    iccp.profile = reinterpret_cast<char*>(const_cast<uint8_t*>(l.profile.data()));
    spng_set_iccp(ctx, &iccp);
  }
  spng_encode_image(ctx, p.rows.data(), p.rows.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
  spng_ctx_free(ctx);
  return l.chunks.empty() ? out : WithChunks(out, l.chunks);
}

bool ReadPng(const Bytes& file, Layout* l, std::vector<Picture>* pages, std::string* error) {
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, file.data(), file.size());
  spng_ihdr ihdr;
  std::size_t size = 0;
  int r = spng_get_ihdr(ctx, &ihdr);
  if (r == 0) r = spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size);
  Picture p{ihdr.width, ihdr.height, Bytes(size)};
  if (r == 0) r = spng_decode_image(ctx, p.rows.data(), size, SPNG_FMT_PNG, 0);
  if (r == 0) {
    l->container = Container::kPng;
    l->colour = ihdr.color_type;
    l->bits_per_sample = ihdr.bit_depth;
    l->compression = ihdr.interlace_method;
    const int samples[] = {1, 0, 3, 1, 2, 0, 4};
    l->samples = samples[ihdr.color_type];
    spng_phys phys;
    if (spng_get_phys(ctx, &phys) == 0) {
      l->x_res = phys.ppu_x * 0.0254f;
      l->y_res = phys.ppu_y * 0.0254f;
    }
    uint32_t n = 1;
    spng_text text;
    if (spng_get_text(ctx, &text, &n) == 0 && n == 1) l->text.assign(text.text, text.length);
    spng_iccp iccp;
    if (spng_get_iccp(ctx, &iccp) == 0) {
      l->profile.assign(iccp.profile, iccp.profile + iccp.profile_len);
    }
    l->chunks = ChunksOf(file);
    pages->push_back(std::move(p));
  } else {
    *error = spng_strerror(r);
  }
  spng_ctx_free(ctx);
  return r == 0;
}

Bytes BigEndian(std::initializer_list<uint32_t> values, const Bytes& then = {}) {
  Bytes b;
  b.reserve(4 * values.size() + then.size());
  for (uint32_t v : values) {
    for (int k = 24; k >= 0; k -= 8) b.push_back(static_cast<uint8_t>(v >> k));
  }
  for (uint8_t v : then) b.push_back(v);
  return b;
}

// A frame control chunk's data: sequence number, size, place, a delay of
// 1/10 s, no disposal or blending.
Bytes FrameControl(uint32_t sequence, uint32_t w, uint32_t h, uint32_t x, uint32_t y) {
  return BigEndian({sequence, w, h, x, y}, {0, 1, 0, 10, 0, 0});
}

// The image data of a PNG stream, its IDAT chunks' data one after another.
Bytes ImageData(const Bytes& f) {
  Bytes data;
  for (std::size_t at = 8; at + 12 <= f.size();) {
    const uint32_t n = Get(f, at, 4, true);
    if (std::equal(f.begin() + at + 4, f.begin() + at + 8, "IDAT")) {
      data.insert(data.end(), f.begin() + at + 8, f.begin() + at + 8 + n);
    }
    at += 12 + n;
  }
  return data;
}

}  // namespace

Bytes WriteAnimatedPng(const Layout& layout, const Picture& image, const std::vector<Frame>& frames) {
  Layout l = layout;
  uint32_t sequence = 0;
  l.chunks.push_back({"acTL", BigEndian({static_cast<uint32_t>(frames.size() + 1), 0})});
  l.chunks.push_back({"fcTL", FrameControl(sequence++, image.width, image.height, 0, 0)});
  Layout alone = layout;
  alone.x_res = 0;
  alone.chunks.clear();
  for (const Frame& f : frames) {
    l.chunks.push_back(
        {"fcTL", FrameControl(sequence++, f.picture.width, f.picture.height, f.x, f.y), true});
    const Bytes data = ImageData(WritePng(alone, f.picture));
    const std::size_t half = data.size() / 2;
    for (auto [from, to] : {std::pair{std::size_t{0}, half}, {half, data.size()}}) {
      const Bytes piece(data.begin() + static_cast<std::ptrdiff_t>(from),
                        data.begin() + static_cast<std::ptrdiff_t>(to));
      l.chunks.push_back({"fdAT", BigEndian({sequence++}, piece), true});
    }
  }
  return WritePng(l, image);
}

bool ReadPngFrames(const Bytes& file, std::vector<Frame>* frames, std::string* error) {
  const Bytes header(file.begin() + 16, file.begin() + 29);
  Bytes palette, data;
  uint32_t sequence = 0;
  const std::vector<RawChunk> chunks = ChunksOf(file);
  for (std::size_t k = 0; k <= chunks.size(); ++k) {
    const bool control = k < chunks.size() && chunks[k].type == "fcTL";
    if ((k == chunks.size() || control) && !frames->empty() && frames->back().picture.rows.empty()) {
      // The frame gathered so far, as a PNG stream of its own.
      Frame& f = frames->back();
      Bytes png(file.begin(), file.begin() + 8);
      const Bytes ihdr =
          BigEndian({f.picture.width, f.picture.height}, Bytes(header.begin() + 8, header.end()));
      for (const RawChunk& c : {RawChunk{"IHDR", ihdr}, RawChunk{"PLTE", palette},
                                RawChunk{"IDAT", data}, RawChunk{"IEND", {}}}) {
        if (c.type == "PLTE" && palette.empty()) continue;
        const Bytes b = Chunk(c);
        png.insert(png.end(), b.begin(), b.end());
      }
      Layout l;
      std::vector<Picture> read;
      if (!ReadPng(png, &l, &read, error)) return false;
      f.picture = std::move(read.front());
      data.clear();
    }
    if (k == chunks.size()) break;
    const RawChunk& c = chunks[k];
    if (c.type == "PLTE") palette = c.data;
    if (c.type != "fcTL" && c.type != "fdAT") continue;
    if (c.data.size() < 4 || Get(c.data, 0, 4, true) != sequence++) {
      *error = "sequence number " + std::to_string(sequence - 1) + " out of place";
      return false;
    }
    if (control && c.after_image) {
      frames->push_back({Picture{Get(c.data, 4, 4, true), Get(c.data, 8, 4, true), {}},
                         Get(c.data, 12, 4, true), Get(c.data, 16, 4, true)});
    }
    if (c.type == "fdAT") data.insert(data.end(), c.data.begin() + 4, c.data.end());
  }
  return true;
}

std::vector<Picture> RandomPictures(const Layout& layout, uint32_t width, uint32_t height,
                                    int pages, Rng& rng) {
  std::vector<Picture> out;
  const int bits = layout.BitsPerPixel();
  for (int k = 0; k < pages; ++k) {
    Picture p{width + k, height, Bytes(RowBytes(width + k, bits) * height)};
    for (auto& b : p.rows) b = rng.Byte();
    // Pixels only: a row's unused low bits are 0, as every writer leaves them.
    const int unused = static_cast<int>((8 - uint64_t{p.width} * bits % 8) % 8);
    for (uint32_t y = 0; y < height && unused > 0; ++y) {
      p.rows[(y + 1) * RowBytes(p.width, bits) - 1] &= static_cast<uint8_t>(0xFF << unused);
    }
    // Subsampled YCbCr: the chroma of each data unit's pixels is its first's.
    for (uint32_t y = 0; y < height && Subsampled(layout); ++y) {
      for (uint32_t x = 0; x < p.width; ++x) {
        const uint8_t* first =
            &p.rows[((y - y % layout.sub_v) * p.width + x - x % layout.sub_h) * 3];
        std::copy(first + 1, first + 3, &p.rows[(y * p.width + x) * 3 + 1]);
      }
    }
    out.push_back(std::move(p));
  }
  return out;
}

Bytes WriteImageFile(const Layout& layout, const std::vector<Picture>& pages) {
  return layout.container == Container::kTiff ? WriteTiff(layout, pages)
                                              : WritePng(layout, pages.front());
}

bool ReadImageFile(const Bytes& file, Layout* layout, std::vector<Picture>* pages,
                   std::string* error) {
  *layout = Layout{};
  pages->clear();
  if (file.size() >= 8 && file[0] == 0x89 && file[1] == 'P') {
    return ReadPng(file, layout, pages, error);
  }
  return ReadTiff(file, layout, pages, error);
}

Picture Turned(const Picture& p, int bits, int type) {
  const std::size_t line = RowBytes(p.width, bits);
  const Bytes rows = OracleRows(bits, p.rows.data(), static_cast<int32_t>(line),
                                static_cast<int32_t>(p.width), static_cast<int32_t>(p.height),
                                type, 0x00);
  const bool swap = type % 2 != 0;
  Picture out{swap ? p.height : p.width, swap ? p.width : p.height, {}};
  const std::size_t out_line = RowBytes(out.width, bits);
  const std::size_t stride = StrideOf(bits, static_cast<int32_t>(out.width));
  for (uint32_t y = 0; y < out.height; ++y) {
    const auto row = rows.begin() + static_cast<std::ptrdiff_t>(y * stride);
    out.rows.insert(out.rows.end(), row, row + static_cast<std::ptrdiff_t>(out_line));
  }
  return out;
}

Picture Oriented(const Picture& p, int bits, int orientation) {
  const bool swap = orientation >= 5 && orientation <= 8;
  const uint32_t w = p.width, h = p.height;
  Picture out{swap ? h : w, swap ? w : h, {}};
  const std::size_t line = RowBytes(w, bits), out_line = RowBytes(out.width, bits);
  out.rows.assign(out_line * out.height, 0);
  for (uint32_t y = 0; y < out.height; ++y) {
    for (uint32_t x = 0; x < out.width; ++x) {
      // The stored pixel shown at (x, y).
      uint32_t sx = x, sy = y;
      switch (orientation) {
        case 2: sx = w - 1 - x; break;
        case 3: sx = w - 1 - x; sy = h - 1 - y; break;
        case 4: sy = h - 1 - y; break;
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = h - 1 - x; break;
        case 7: sx = w - 1 - y; sy = h - 1 - x; break;
        case 8: sx = w - 1 - y; sy = x; break;
      }
      CopyPixel(bits, p.rows.data() + sy * line, static_cast<int32_t>(sx),
                out.rows.data() + y * out_line, static_cast<int32_t>(x));
    }
  }
  return out;
}

Bytes Exif(int orientation, uint32_t pixel_x, uint32_t pixel_y, uint16_t type, bool big,
           const Bytes& thumbnail) {
  // Header, IFD0 (Orientation, Exif IFD pointer), the Exif IFD (the pixel
  // dimensions).
  Bytes e = {static_cast<uint8_t>(big ? 'M' : 'I'), static_cast<uint8_t>(big ? 'M' : 'I')};
  Set(e, 2, 2, 42, big);
  Set(e, 4, 4, 8, big);
  const uint32_t sub = 8 + 2 + 2 * 12 + 4;
  Set(e, 8, 2, 2, big);
  const uint32_t ifd0[2][4] = {{0x0112, 3, 1, static_cast<uint32_t>(orientation)},
                               {0x8769, 4, 1, sub}};
  const uint32_t exif[2][4] = {{0xA002, type, 1, pixel_x}, {0xA003, type, 1, pixel_y}};
  auto put = [&](uint32_t at, const uint32_t (*entries)[4]) {
    for (int k = 0; k < 2; ++k) {
      Set(e, at + 12 * k, 2, entries[k][0], big);
      Set(e, at + 12 * k + 2, 2, entries[k][1], big);
      Set(e, at + 12 * k + 4, 4, 1, big);
      Set(e, at + 12 * k + 8, entries[k][1] == 3 ? 2 : 4, entries[k][3], big);
    }
  };
  put(10, ifd0);
  Set(e, 10 + 24, 4, 0, big);
  Set(e, sub, 2, 2, big);
  put(sub + 2, exif);
  Set(e, sub + 2 + 24, 4, 0, big);
  if (!thumbnail.empty()) {
    // IFD1 behind the Exif IFD, the thumbnail behind IFD1.
    const uint32_t ifd1 = sub + 30, at = ifd1 + 30;
    Set(e, 10 + 24, 4, ifd1, big);
    Set(e, ifd1, 2, 2, big);
    const uint32_t entries[2][4] = {{0x0201, 4, 1, at},
                                    {0x0202, 4, 1, static_cast<uint32_t>(thumbnail.size())}};
    put(ifd1 + 2, entries);
    Set(e, ifd1 + 2 + 24, 4, 0, big);
    e.insert(e.end(), thumbnail.begin(), thumbnail.end());
  }
  return e;
}

}  // namespace quadturn::test
