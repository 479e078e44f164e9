// Writes the bundled colour samples of the sample chart: chart.tif (two
// pages, LZW: the chart in colour with the horizontal predictor, then in
// grey), chart.png (colour) and chart.jpg (colour, 4:2:0; 96 x 64 pixels
// are whole blocks, so every turn is lossless).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>
#include <spng.h>
#include <tiffio.h>

#include "chart.h"

namespace {

using namespace quadturn::samples;

// The chart's colours: paper, ink (dark blue) and the corner mark (red).
void ColourAt(int x, int y, uint8_t rgb[3]) {
  static const uint8_t kColours[3][3] = {{250, 248, 240}, {20, 40, 120}, {200, 30, 30}};
  const uint8_t* c = kColours[InkAt(x, y)];
  rgb[0] = c[0];
  rgb[1] = c[1];
  rgb[2] = c[2];
}

std::vector<uint8_t> Pixels(int samples) {
  std::vector<uint8_t> p;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t rgb[3];
      ColourAt(x, y, rgb);
      if (samples == 3) {
        p.insert(p.end(), rgb, rgb + 3);
      } else {
        p.push_back(static_cast<uint8_t>((rgb[0] * 299 + rgb[1] * 587 + rgb[2] * 114) / 1000));
      }
    }
  }
  return p;
}

bool WriteTiff(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return false;
  for (int page = 0; page < 2; ++page) {
    const int samples = page == 0 ? 3 : 1;
    const std::vector<uint8_t> p = Pixels(samples);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, page == 0 ? 2 : 1);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 150.0);
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, page, 2);
    TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, "quadturn sample chart");
    for (int y = 0; y < kHeight; ++y) {
      std::vector<uint8_t> row(p.begin() + y * kWidth * samples,
                               p.begin() + (y + 1) * kWidth * samples);
      if (TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) < 0) return false;
    }
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  return true;
}

int ToFile(spng_ctx*, void* user, void* from, std::size_t n) {
  return std::fwrite(from, 1, n, static_cast<std::FILE*>(user)) == n ? 0 : SPNG_IO_ERROR;
}

bool WritePng(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::vector<uint8_t> p = Pixels(3);
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_png_stream(ctx, ToFile, f);
  spng_ihdr ihdr{kWidth, kHeight, 8, SPNG_COLOR_TYPE_TRUECOLOR, 0, 0, 0};
  spng_set_ihdr(ctx, &ihdr);
  spng_phys phys{11811, 5906, 1};  // 300 x 150 dpi
  spng_set_phys(ctx, &phys);
  const int r = spng_encode_image(ctx, p.data(), p.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
  spng_ctx_free(ctx);
  return std::fclose(f) == 0 && r == 0;
}

bool WriteJpeg(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = kWidth;
  c.image_height = kHeight;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  c.density_unit = 1;
  c.X_density = 300;
  c.Y_density = 150;
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> p = Pixels(3);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = p.data() + c.next_scanline * kWidth * 3;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  bool ok = true;
  using Writer = bool (*)(const std::string&);
  const std::pair<const char*, Writer> kFiles[] = {
      {"chart.tif", WriteTiff}, {"chart.png", WritePng}, {"chart.jpg", WriteJpeg}};
  for (auto [name, write] : kFiles) {
    const std::string path = dir + "/" + name;
    if (!write(path)) {
      std::fprintf(stderr, "make_file_samples: cannot write %s\n", path.c_str());
      ok = false;
    } else {
      std::printf("%s\n", path.c_str());
    }
  }
  return ok ? 0 : 1;
}
