// Writing and reading TIFF and PNG files in memory for the tool's tests.
#include "tiff_png_files.h"

#include <spng.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quadturn::test {
namespace {

std::size_t RowBytes(uint32_t width, int bits) { return (std::size_t{width} * bits + 7) / 8; }

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

Bytes WriteTiff(const Layout& l, const std::vector<Picture>& pages) {
  Memory m;
  TIFF* tif = Open(&m, "w");
  for (std::size_t k = 0; k < pages.size(); ++k) {
    const Picture& p = pages[k];
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bits_per_sample);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.colour);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, l.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    if (l.predictor != 1) TIFFSetField(tif, TIFFTAG_PREDICTOR, l.predictor);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, l.orientation);
    if (l.samples == 2 || l.samples == 4) {
      const uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
      TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &alpha);
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
    std::vector<uint16_t> map(3u << l.bits_per_sample);
    for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<uint16_t>(i * 997);
    if (l.colour == PHOTOMETRIC_PALETTE) {
      const std::size_t n = map.size() / 3;
      TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
    }
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(k),
                 static_cast<uint16_t>(pages.size()));
    const std::size_t line = RowBytes(p.width, l.BitsPerPixel());
    if (l.tile > 0) {
      TIFFSetField(tif, TIFFTAG_TILEWIDTH, l.tile);
      TIFFSetField(tif, TIFFTAG_TILELENGTH, l.tile);
      const std::size_t tile_line = RowBytes(l.tile, l.BitsPerPixel());
      Bytes tile(static_cast<std::size_t>(TIFFTileSize(tif)));
      for (uint32_t y = 0; y < p.height; y += l.tile) {
        for (uint32_t x = 0; x < p.width; x += l.tile) {
          std::fill(tile.begin(), tile.end(), 0);
          const uint32_t cols = std::min(l.tile, p.width - x);
          for (uint32_t r = 0; r < l.tile && y + r < p.height; ++r) {
            std::memcpy(tile.data() + r * tile_line,
                        p.rows.data() + (y + r) * line + std::size_t{x} * l.BitsPerPixel() / 8,
                        RowBytes(cols, l.BitsPerPixel()));
          }
          TIFFWriteTile(tif, tile.data(), x, y, 0, 0);
        }
      }
    } else if (l.planar) {
      // One plane per sample, each row of 8-bit samples.
      Bytes plane(p.width);
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.height);
      for (int s = 0; s < l.samples; ++s) {
        for (uint32_t y = 0; y < p.height; ++y) {
          for (uint32_t x = 0; x < p.width; ++x) plane[x] = p.rows[y * line + x * l.samples + s];
          TIFFWriteScanline(tif, plane.data(), y, static_cast<uint16_t>(s));
        }
      }
    } else {
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
      Bytes row(line);
      for (uint32_t y = 0; y < p.height; ++y) {
        std::memcpy(row.data(), p.rows.data() + y * line, line);
        TIFFWriteScanline(tif, row.data(), y, 0);
      }
    }
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  return m.bytes;
}

bool ReadTiff(const Bytes& file, Layout* l, std::vector<Picture>* pages, std::string* error) {
  Memory m{file, 0};
  TIFF* tif = Open(&m, "r");
  if (tif == nullptr) {
    *error = "not a TIFF";
    return false;
  }
  l->container = Container::kTiff;
  bool ok = true;
  do {
    uint32_t w = 0, h = 0, tile = 0;
    uint16_t bits = 1, samples = 1, photometric = 0, compression = 1, predictor = 1;
    uint16_t orientation = 1;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_PREDICTOR, &predictor);
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tile);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
    l->orientation = orientation;
    l->colour = photometric;
    l->bits_per_sample = bits;
    l->samples = samples;
    l->compression = compression;
    l->predictor = predictor;
    l->tile = tile;
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &l->x_res);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &l->y_res);
    char* text = nullptr;
    if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text)) l->text = text;
    uint32_t count = 0;
    void* profile = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &count, &profile)) {
      l->profile.assign(static_cast<uint8_t*>(profile), static_cast<uint8_t*>(profile) + count);
    }
    Picture p{w, h, Bytes(RowBytes(w, bits * samples) * h)};
    const std::size_t line = RowBytes(w, bits * samples);
    if (tile > 0) {
      Bytes t(static_cast<std::size_t>(TIFFTileSize(tif)));
      const std::size_t tile_line = RowBytes(tile, bits * samples);
      for (uint32_t y = 0; y < h && ok; y += tile) {
        for (uint32_t x = 0; x < w && ok; x += tile) {
          ok = TIFFReadTile(tif, t.data(), x, y, 0, 0) >= 0;
          for (uint32_t r = 0; r < tile && y + r < h; ++r) {
            std::memcpy(p.rows.data() + (y + r) * line + std::size_t{x} * bits * samples / 8,
                        t.data() + r * tile_line, RowBytes(std::min(tile, w - x), bits * samples));
          }
        }
      }
    } else {
      for (uint32_t y = 0; y < h && ok; ++y) {
        ok = TIFFReadScanline(tif, p.rows.data() + y * line, y, 0) >= 0;
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
  return out;
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
    pages->push_back(std::move(p));
  } else {
    *error = spng_strerror(r);
  }
  spng_ctx_free(ctx);
  return r == 0;
}

}  // namespace

std::vector<Picture> RandomPictures(const Layout& layout, uint32_t width, uint32_t height,
                                    int pages, Rng& rng) {
  std::vector<Picture> out;
  const int bits = layout.BitsPerPixel();
  for (int k = 0; k < pages; ++k) {
    Picture p{width + k, height, Bytes(RowBytes(width + k, bits) * height)};
    for (auto& b : p.rows) b = rng.Byte();
    // Pixels only: a row's unused low bits are 0, as every writer leaves them.
    for (uint32_t y = 0; y < height && bits < 8; ++y) {
      uint8_t* row = p.rows.data() + y * RowBytes(p.width, bits);
      const Bytes copy(row, row + RowBytes(p.width, bits));
      std::fill(row, row + RowBytes(p.width, bits), 0);
      for (uint32_t x = 0; x < p.width; ++x) SetPixel(bits, row, x, GetPixel(bits, copy.data(), x));
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

Picture Turned(const Picture& p, int bits, int quarters) {
  const std::size_t line = RowBytes(p.width, bits);
  // OracleRows counts rows from the bottom, as a DIB stores them; these
  // rows run from the top, which reverses the sense of a turn.
  const Bytes rows = OracleRows(bits, p.rows.data(), static_cast<int32_t>(line),
                                static_cast<int32_t>(p.width), static_cast<int32_t>(p.height),
                                (4 - quarters % 4) % 4, 0x00);
  const bool swap = quarters % 2 != 0;
  Picture out{swap ? p.height : p.width, swap ? p.width : p.height, {}};
  const std::size_t out_line = RowBytes(out.width, bits);
  const std::size_t stride = StrideOf(bits, static_cast<int32_t>(out.width));
  for (uint32_t y = 0; y < out.height; ++y) {
    const auto row = rows.begin() + static_cast<std::ptrdiff_t>(y * stride);
    out.rows.insert(out.rows.end(), row, row + static_cast<std::ptrdiff_t>(out_line));
  }
  return out;
}

}  // namespace quadturn::test
