// Writes the corpus of the image-file fuzz target: small TIFF, PNG, BMP and
// JPEG files of every layout the tool turns and of some it refuses, each
// followed by the control byte (the verb: RotateFlip's types 1-7, 0 for
// upright).
#include <tiffio.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "jpeg_files.h"
#include "tiff_png_files.h"

using namespace quadturn::test;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_file_corpus FOLDER\n");
    return 2;
  }
  const auto kPng = Container::kPng;
  struct Entry { const char* name; Layout layout; uint32_t width, height; int pages; };
  const Entry entries[] = {
      {"fax-g4", {.colour = PHOTOMETRIC_MINISWHITE, .bits_per_sample = 1,
                  .compression = COMPRESSION_CCITTFAX4, .x_res = 204, .y_res = 196}, 40, 9, 2},
      {"fax-g3", {.colour = PHOTOMETRIC_MINISWHITE, .bits_per_sample = 1,
                  .compression = COMPRESSION_CCITTFAX3, .x_res = 204, .y_res = 98}, 33, 7, 1},
      {"grey-lzw", {.colour = PHOTOMETRIC_MINISBLACK, .compression = COMPRESSION_LZW,
                    .predictor = 2}, 11, 6, 2},
      {"rgb-deflate", {.colour = PHOTOMETRIC_RGB, .samples = 3,
                       .compression = COMPRESSION_ADOBE_DEFLATE, .text = "scan"}, 7, 5, 1},
      {"palette-packbits", {.colour = PHOTOMETRIC_PALETTE, .compression = COMPRESSION_PACKBITS},
       9, 4, 1},
      {"palette4-tiled", {.colour = PHOTOMETRIC_PALETTE, .bits_per_sample = 4, .tile = 16}, 20,
       17, 1},
      {"rgba", {.colour = PHOTOMETRIC_RGB, .samples = 4}, 5, 3, 1},
      {"grey16", {.colour = PHOTOMETRIC_MINISBLACK, .bits_per_sample = 16}, 4, 3, 1},
      {"png-grey1", {.container = kPng, .colour = 0, .bits_per_sample = 1, .x_res = 300,
                     .y_res = 150}, 13, 5, 1},
      {"png-palette4", {.container = kPng, .colour = 3, .bits_per_sample = 4}, 9, 4, 1},
      {"png-palette8-interlaced", {.container = kPng, .colour = 3, .compression = 1}, 10, 9, 1},
      {"png-rgb-text", {.container = kPng, .colour = 2, .samples = 3, .text = "t"}, 6, 5, 1},
      {"png-rgba", {.container = kPng, .colour = 6, .samples = 4}, 4, 7, 1},
      {"png-grey-alpha", {.container = kPng, .colour = 4, .samples = 2}, 5, 5, 1},
      {"png-grey2", {.container = kPng, .colour = 0, .bits_per_sample = 2}, 6, 2, 1},
      // The chunks and tags real files carry, kept byte for byte, and
      // orientations a viewer applies.
      {"png-chunks",
       {.container = kPng, .colour = 2, .samples = 3,
        .chunks = {{"sPLT", {'s', 0, 8, 1, 2, 3, 4, 0, 5}}, {"prVt", {1}}, {"prVT", {2}},
                   {"tEXt", {'T', 0, 'x'}}, {"eXIf", Exif(5, 5, 4)},
                   {"iTXt", {'X', 0, 0, 0, 0, 0, '<', '/', '>'}, true},
                   {"tIME", {7, 234, 12, 9, 19, 30, 0}, true}, {"prVt", {3}, true}}},
       5, 4, 1},
      {"png-exif-turned", {.container = kPng, .colour = 0, .chunks = {{"eXIf", Exif(6, 3, 7, 3, true)}}},
       3, 7, 1},
      {"tiff-tags",
       {.colour = PHOTOMETRIC_RGB, .samples = 3, .orientation = 7,
        .tags = {{297, 3, 1, {3, 0}}, {258, 3, 4, {8, 0, 8, 0, 8, 0, 1, 0}},
                 {282, 5, 1, {216, 2, 0, 0, 10, 0, 0, 0}}, {65000, 2, 2, {'p', 0}},
                 {34665, 4, 1, {}, {{40962, 4, 1, {6, 0, 0, 0}}, {40963, 3, 1, {5, 0}}}}}},
       6, 5, 1},
      // Layouts turned as planes of any pixel size.
      {"tiff-planar-16", {.colour = PHOTOMETRIC_RGB, .bits_per_sample = 16, .samples = 3,
                          .planar = true, .rows_per_strip = 2}, 5, 4, 1},
      {"tiff-ycbcr-22", {.colour = PHOTOMETRIC_YCBCR, .samples = 3, .sub_h = 2, .sub_v = 2,
                         .rows_per_strip = 2}, 6, 4, 1},
      {"tiff-grey12-tiled", {.colour = PHOTOMETRIC_MINISBLACK, .bits_per_sample = 12,
                             .tile = 16}, 18, 5, 1},
      {"tiff-cmyk-float", {.colour = PHOTOMETRIC_SEPARATED, .bits_per_sample = 32, .samples = 4,
                           .sample_format = SAMPLEFORMAT_IEEEFP}, 3, 3, 1},
      {"png-rgba16-interlaced", {.container = kPng, .colour = 6, .bits_per_sample = 16,
                                 .samples = 4, .compression = 1}, 5, 6, 1},
      {"tiff-one-strip-mirrored",
       {.colour = PHOTOMETRIC_MINISWHITE, .bits_per_sample = 1, .orientation = 2,
        .rows_per_strip = 9}, 19, 9, 2},
  };
  uint64_t n = 0;
  for (const Entry& e : entries) {
    Rng rng(n++);
    Bytes file =
        WriteImageFile(e.layout, RandomPictures(e.layout, e.width, e.height, e.pages, rng));
    file.push_back(static_cast<uint8_t>(n % 8));
    std::ofstream(std::string(argv[1]) + "/" + e.name, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
  }
  // BMP files the library does not take as they are: run-length encoded
  // rows with a jump, an end of line and an early end of the image, and an
  // OS/2 1.x header with a three-entry table.
  const Bytes rle8 = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,
                      40, 0, 0, 0, 5, 0, 0, 0, 3, 0, 0, 0, 1, 0, 8, 0, 1, 0, 0, 0, 10, 0, 0, 0,
                      0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,
                      0, 0, 255, 0, 255, 255, 255, 0,
                      3, 1, 0, 2, 1, 0, 0, 0, 0, 1, 4};
  const Bytes os2 = {'B', 'M', 44, 0, 0, 0, 0, 0, 0, 0, 35, 0, 0, 0,
                     12, 0, 0, 0, 3, 0, 2, 0, 1, 0, 4, 0,
                     0, 0, 0, 255, 255, 255, 0, 0, 255,
                     0x12, 0x00, 0, 0, 0x21, 0x10, 0, 0, 3};
  // JPEG files: baseline 4:2:0 with an EXIF orientation and thumbnail, a
  // progressive one with restart markers, partial blocks at its edges.
  Rng rng(99);
  Bytes exif = {'E', 'x', 'i', 'f', 0, 0};
  const Bytes data = Exif(6, 32, 16, 4, false, WriteJpeg({.width = 16, .height = 16}, rng));
  exif.insert(exif.end(), data.begin(), data.end());
  Bytes jpeg = WriteJpeg({.width = 32, .height = 16, .markers = {{0xE1, exif}}}, rng);
  jpeg.push_back(1);
  Bytes progressive =
      WriteJpeg({.width = 20, .height = 13, .h = 1, .v = 1, .progressive = true,
                 .restart_interval = 1}, rng);
  progressive.push_back(5);
  // An animated PNG: the image and two frames, one of them in two pieces.
  const Layout palette{.container = Container::kPng, .colour = 3, .bits_per_sample = 4};
  const Bytes animated = WriteAnimatedPng(
      palette, RandomPictures(palette, 7, 5, 1, rng).front(),
      {{RandomPictures(palette, 3, 2, 1, rng).front(), 1, 2},
       {RandomPictures(palette, 7, 5, 1, rng).front(), 0, 0}});
  for (auto [name, file] : {std::pair{"bmp-rle8-jumps", rle8}, {"bmp-os2-core", os2},
                            {"jpeg-exif-thumbnail", jpeg}, {"jpeg-progressive-restarts", progressive},
                            {"png-animated", animated}}) {
    std::ofstream(std::string(argv[1]) + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
  }
  return 0;
}
