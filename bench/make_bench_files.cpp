// Writes the files the tool is timed on, the same every time: a 100-page A4
// fax (CCITT Group 4, 1728 x 2200 at 204 x 196 dpi) of lines of text-like
// marks, an A4 colour scan at 300 dpi (24-bit RGB, LZW, 2480 x 3508) of
// paper with slight noise, text and a photograph-like area, an A4 grey
// scan at 600 dpi as an 8-bit PNG (4960 x 7016), and two JPEG files: a
// 24-megapixel photograph (6000 x 4000) and an A4 colour scan at 600 dpi
// (4960 x 7016, whose height is not whole 16-pixel blocks).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>
#include <spng.h>
#include <tiffio.h>

#include "fax_tiff.h"

namespace {

struct Rng {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<uint32_t>(state >> 33);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

// Text-like marks: lines of words of glyph-sized blocks, as much ink as a
// page of typed text. True where (x, y) is ink on a page w pixels wide
// whose glyphs are `glyph` pixels tall.
class TextPage {
 public:
  TextPage(uint32_t w, uint32_t h, int glyph, uint64_t seed) : w_(w), glyph_(glyph), ink_(w * h) {
    Rng rng{seed};
    const int margin = static_cast<int>(w) / 10;
    for (int top = glyph * 3; top + glyph < static_cast<int>(h) - glyph * 3; top += glyph * 2) {
      for (int x = margin; x < static_cast<int>(w) - margin;) {
        const int word = 2 + rng.Below(8);
        for (int c = 0; c < word && x < static_cast<int>(w) - margin; ++c) {
          const int width = glyph / 2 + rng.Below(glyph / 3 + 1);
          // A glyph: a few strokes within its box.
          for (int s = 0; s < 3; ++s) {
            const int x0 = x + rng.Below(width), y0 = top + rng.Below(glyph);
            const bool vertical = rng.Below(2) == 0;
            const int len = glyph / 2 + rng.Below(glyph / 2);
            const int thick = 1 + glyph / 12;
            for (int i = 0; i < len; ++i) {
              for (int t = 0; t < thick; ++t) {
                Set(vertical ? x0 + t : x0 + i, vertical ? y0 + i : y0 + t, top);
              }
            }
          }
          x += width + glyph / 8;
        }
        x += glyph / 2;
      }
    }
  }
  bool Ink(uint32_t x, uint32_t y) const { return ink_[y * w_ + x] != 0; }

 private:
  void Set(int x, int y, int top) {
    if (x >= 0 && x < static_cast<int>(w_) && y >= top && y < top + glyph_) ink_[y * w_ + x] = 1;
  }
  uint32_t w_;
  int glyph_;
  std::vector<uint8_t> ink_;
};

bool WriteFax(const std::string& path) {
  // Each page's marks are made as the page is written.
  int made = -1;
  std::unique_ptr<TextPage> text;
  const quadturn::samples::FaxPages fax{1728, 2200, 204.0, 196.0, 100, nullptr};
  return quadturn::samples::WriteFaxTiff(path, fax, [&](int page, uint32_t x, uint32_t y) {
    if (page != made) {
      text = std::make_unique<TextPage>(fax.width, fax.height, 40, 1000 + page);
      made = page;
    }
    return text->Ink(x, y);
  });
}

// The grey level of a scanned page at (x, y): paper with slight noise, text,
// and a smooth photograph-like area in the lower half.
uint8_t ScanGrey(const TextPage& text, uint32_t x, uint32_t y, uint32_t w, uint32_t h, Rng& rng) {
  if (y > h / 2 && y < h * 5 / 6 && x > w / 8 && x < w * 7 / 8) {
    const int v = static_cast<int>(128 + 100 * ((x * 7 + y * 3) % 997) / 997 - 50) +
                  rng.Below(9) - 4;
    return static_cast<uint8_t>(v);
  }
  if (text.Ink(x, y)) return static_cast<uint8_t>(20 + rng.Below(30));
  return static_cast<uint8_t>(245 + rng.Below(6));
}

bool WriteColourScan(const std::string& path) {
  constexpr uint32_t w = 2480, h = 3508;
  const TextPage text(w, h, 36, 7);
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.0);
  std::vector<uint8_t> row(3 * w);
  Rng rng{3};
  bool ok = true;
  for (uint32_t y = 0; y < h && ok; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t g = ScanGrey(text, x, y, w, h, rng);
      row[3 * x] = g;
      row[3 * x + 1] = static_cast<uint8_t>(g * 15 / 16);
      row[3 * x + 2] = static_cast<uint8_t>(g * 7 / 8);
    }
    ok = TIFFWriteScanline(tif, row.data(), y, 0) >= 0;
  }
  TIFFClose(tif);
  return ok;
}

bool WriteGreyPng(const std::string& path) {
  constexpr uint32_t w = 4960, h = 7016;
  const TextPage text(w, h, 72, 11);
  std::vector<uint8_t> image(std::size_t{w} * h);
  Rng rng{5};
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      image[std::size_t{y} * w + x] = ScanGrey(text, x, y, w, h, rng);
    }
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_png_file(ctx, f);
  spng_ihdr ihdr{w, h, 8, SPNG_COLOR_TYPE_GRAYSCALE, 0, 0, 0};
  spng_set_ihdr(ctx, &ihdr);
  spng_phys phys{23622, 23622, 1};  // 600 dpi
  spng_set_phys(ctx, &phys);
  const int r = spng_encode_image(ctx, image.data(), image.size(), SPNG_FMT_PNG,
                                  SPNG_ENCODE_FINALIZE);
  spng_ctx_free(ctx);
  return std::fclose(f) == 0 && r == 0;
}

// A JPEG of w x h pixels, 4:2:0, quality 92, with an EXIF segment as a
// camera writes one (orientation 1); each pixel's colour from `colour`.
template <typename Colour>
bool WriteJpeg(const std::string& path, uint32_t w, uint32_t h, uint16_t dpi, Colour colour) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = w;
  c.image_height = h;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 92, TRUE);
  c.density_unit = 1;
  c.X_density = c.Y_density = dpi;
  jpeg_start_compress(&c, TRUE);
  static const uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                                  0x12, 1, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
  jpeg_write_marker(&c, JPEG_APP0 + 1, kExif, sizeof kExif);
  std::vector<uint8_t> row(3 * std::size_t{w});
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) colour(x, y, &row[3 * std::size_t{x}]);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

// A 24-megapixel photograph: smooth shapes of colour and a little noise.
bool WritePhoto(const std::string& path) {
  Rng rng{9};
  return WriteJpeg(path, 6000, 4000, 300, [&](uint32_t x, uint32_t y, uint8_t* rgb) {
    const int n = rng.Below(9) - 4;
    rgb[0] = static_cast<uint8_t>(std::clamp<int>((x * 7 / 160 + y / 40) % 256 + n, 0, 255));
    rgb[1] = static_cast<uint8_t>(std::clamp<int>(128 + ((x / 30) ^ (y / 50)) % 96 + n, 0, 255));
    rgb[2] = static_cast<uint8_t>(std::clamp<int>(255 - y * 5 / 80 + n, 0, 255));
  });
}

// An A4 colour scan at 600 dpi: the grey scan's paper and text, tinted.
bool WriteColourScanJpeg(const std::string& path) {
  constexpr uint32_t w = 4960, h = 7016;
  const TextPage text(w, h, 72, 13);
  Rng rng{11};
  return WriteJpeg(path, w, h, 600, [&](uint32_t x, uint32_t y, uint8_t* rgb) {
    const uint8_t g = ScanGrey(text, x, y, w, h, rng);
    rgb[0] = g;
    rgb[1] = static_cast<uint8_t>(g * 15 / 16);
    rgb[2] = static_cast<uint8_t>(g * 7 / 8);
  });
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  const bool ok = WriteFax(folder + "/fax-100-pages.tif") &&
                  WriteColourScan(folder + "/scan-a4-300dpi-lzw.tif") &&
                  WriteGreyPng(folder + "/scan-a4-600dpi-grey.png") &&
                  WritePhoto(folder + "/photo-24mp.jpg") &&
                  WriteColourScanJpeg(folder + "/scan-a4-600dpi-colour.jpg");
  if (!ok) std::fprintf(stderr, "make_bench_files: cannot write the files in %s\n", folder.c_str());
  return ok ? 0 : 1;
}
