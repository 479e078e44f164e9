// The quadturn tool end to end, as users meet it: the samples, files of every
// depth and row order, TIFF and PNG files of every layout it turns, bad and
// hostile input (devices, /dev/zero, a memory
// limit), links, the same file twice, standard input and output, resolutions,
// colour profiles, options, progress, and several files at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <spng.h>
#include <tiffio.h>
#include <zlib.h>

#include "jpeg_files.h"
#include "test_images.h"
#include "tiff_png_files.h"

namespace quadturn::test {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exit_code;
  std::string output;  // stdout and stderr together
};

// Runs the tool with `args` (which may redirect standard output), its
// standard error captured with standard output, in folder `in` when given.
ToolRun RunTool(const std::string& args, const std::string& in = "") {
  const std::string command =
      (in.empty() ? "" : "cd '" + in + "' && ") + std::string(QT_TOOL) + " 2>&1 " + args;
  std::FILE* p = popen(command.c_str(), "r");
  ToolRun r{-1, ""};
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.output.append(buffer, n);
  const int status = pclose(p);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// Runs a shell command with a terminal for its input and outputs.
ToolRun RunOnTerminal(const std::string& command) {
  int terminal;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child < 0) return {-1, "forkpty failed"};
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ToolRun r{-1, ""};
  char buffer[4096];
  ssize_t n;
  while ((n = read(terminal, buffer, sizeof buffer)) > 0) r.output.append(buffer, n);
  int status = 0;
  waitpid(child, &status, 0);
  close(terminal);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A BMP file around a packed DIB whose rows begin at `offset`, with `gap`
// spare bytes before the rows.
Bytes BmpFile(const Bytes& dib, int32_t offset, uint32_t gap = 0) {
  Bytes file(14, 0);
  file[0] = 'B';
  file[1] = 'M';
  PutU32(file, 2, static_cast<uint32_t>(14 + dib.size() + gap));
  PutU32(file, 10, static_cast<uint32_t>(14 + offset + gap));
  file.insert(file.end(), dib.begin(), dib.begin() + offset);
  file.insert(file.end(), gap, 0xEE);
  file.insert(file.end(), dib.begin() + offset, dib.end());
  return file;
}

Bytes BmpFile(const Bytes& dib) { return BmpFile(dib, RowsOffsetOf(dib, Rules::kQuarterTurns)); }

// The file the tool must write for `dib` turned `turns` quarter turns.
Bytes TurnedFile(const Bytes& dib, int turns) {
  const Bytes turned = Oracle(dib, turns, Rules::kQuarterTurns);
  return BmpFile(turned, RowsOffsetOf(turned, Rules::kQuarterTurns));
}

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(QT_WORK) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  std::string At(const std::string& name) const { return (dir_ / name).string(); }
  // Only the named files are in the work folder: nothing half-written left.
  void ExpectOnlyFiles(std::set<std::string> names) const {
    std::set<std::string> found;
    for (const auto& e : fs::directory_iterator(dir_)) found.insert(e.path().filename().string());
    EXPECT_EQ(found, names);
  }
  Bytes Image(uint64_t seed, Shape shape = {.bits = 24, .width = 5, .height = 3}) {
    Rng rng(seed);
    return MakeDib(shape, rng);
  }
  fs::path dir_;
};

TEST_F(Tool, SamplesTurnAndTurnBackByteForByte) {
  for (const char* name : {"chart-1.bmp", "chart-8.bmp", "chart-24.bmp"}) {
    const std::string in = std::string(QT_SAMPLES) + "/" + name;
    ASSERT_EQ(RunTool("right " + in + " -o " + At("r.bmp")).exit_code, 0) << name;
    ASSERT_EQ(RunTool("left " + At("r.bmp") + " -o " + At("rl.bmp")).exit_code, 0) << name;
    const Bytes original = ReadFile(in);
    EXPECT_EQ(ReadFile(At("rl.bmp")), original) << name;
    const Bytes turned = ReadFile(At("r.bmp"));
    EXPECT_EQ(I32At(turned, 18), I32At(original, 22)) << name;
    EXPECT_EQ(I32At(turned, 22), I32At(original, 18)) << name;
  }
}

// Every depth and row order, bit fields, odd sizes with row padding, a wrong
// biSizeImage and a gap before the rows, each way round.
TEST_F(Tool, EveryDepthRowOrderAndDirection) {
  uint64_t n = 0;
  for (int bits : {1, 4, 8, 16, 24, 32, 116, 132, 216, 232}) {
    // 1xx and 2xx: bit fields behind a 108- and a 124-byte header.
    const uint32_t header = bits > 100 ? (bits < 200 ? 108 : 124) : 40;
    bits %= 100;
    for (bool top_down : {false, true}) {
      for (auto [word, turns] : {std::pair{"right", 1}, {"left", -1}, {"half", 2}}) {
        Bytes dib = Image(500 + n++, {.bits = bits, .width = 13, .height = 5, .top_down = top_down,
                                      .header_bytes = header,
                                      .bitfields = bits == 16 || bits == 32});
        PutU32(dib, 20, 7);
        WriteFile(At("in.bmp"), BmpFile(dib, RowsOffsetOf(dib, Rules::kQuarterTurns), 6));
        const ToolRun r = RunTool(std::string(word) + " " + At("in.bmp") + " -o " + At("out.bmp"));
        ASSERT_EQ(r.exit_code, 0) << r.output;
        EXPECT_EQ(ReadFile(At("out.bmp")), TurnedFile(dib, turns))
            << bits << "-bit " << (top_down ? "top-down " : "") << word;
      }
    }
  }
}

// BMP forms the library does not take as they are, given back in their own:
// OS/2 headers of 12 bytes (3-byte table entries, as many as fit) and of 16,
// 2-bit rows, and run-length encoded rows whose skipped pixels stay skipped.
enum class Form { kCore, kShortOs2, kPlain, kRle };

// A file of `dib` (bottom-up, or 2-bit) in `form`; for kRle the rows
// encoded a pixel at a time, jumping over the pixels `skip` names.
Bytes FileIn(Form form, const Bytes& dib, const std::vector<bool>& skip) {
  const int32_t offset = RowsOffsetOf(dib, Rules::kQuarterTurns);
  const int bits = dib[14] | dib[15] << 8;
  const int32_t w = I32At(dib, 4), h = I32At(dib, 8);
  Bytes head(dib.begin(), dib.begin() + offset), rows(dib.begin() + offset, dib.end());
  if (form == Form::kCore) {
    Bytes core = {12, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 1, 0,
                  uint8_t(bits), 0};
    for (int32_t at = 40; at < offset; at += 4) core.insert(core.end(), &head[at], &head[at + 3]);
    head = core;
  } else if (form == Form::kShortOs2) {
    head.erase(head.begin() + 16, head.begin() + 40);
    PutU32(head, 0, 16);
  } else if (form == Form::kRle) {
    rows.clear();
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t v = GetPixel(bits, dib.data() + offset + y * StrideOf(bits, w), x);
        const bool jump = skip[y * w + x];
        rows.insert(rows.end(), {uint8_t(jump ? 0 : 1), uint8_t(jump ? 2 : bits == 8 ? v : v << 4)});
        if (jump) rows.insert(rows.end(), {1, 0});
      }
      rows.insert(rows.end(), {0, uint8_t(y + 1 == h ? 1 : 0)});
    }
    PutU32(head, 16, bits == 8 ? 1 : 2);
    PutU32(head, 20, static_cast<uint32_t>(rows.size()));
  }
  Bytes file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  PutU32(file, 2, static_cast<uint32_t>(14 + head.size() + rows.size()));
  PutU32(file, 10, static_cast<uint32_t>(14 + head.size()));
  file.insert(file.end(), head.begin(), head.end());
  file.insert(file.end(), rows.begin(), rows.end());
  return file;
}

// The pixels of a run-length encoded file, decoded here (top row first, 16
// bits a pixel: its value, and 1 in the high byte where it is skipped), in
// rows of StrideOf(16, width).
Bytes RlePixels(const Bytes& file, int32_t* width, int32_t* height) {
  const int32_t w = I32At(file, 18), h = I32At(file, 22);
  const int bits = file[28];
  const int32_t stride = StrideOf(16, w);
  Bytes shown(static_cast<size_t>(stride) * h, 0);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) SetPixel(16, shown.data() + y * stride, x, 0x100);
  }
  int32_t x = 0, y = 0;
  auto put = [&](uint32_t v) {
    if (x < w && y < h) SetPixel(16, shown.data() + (h - 1 - y) * stride, x, v);
    ++x;
  };
  for (size_t at = U32At(file, 10); at + 1 < file.size() && y < h; at += 2) {
    const uint8_t n = file[at], c = file[at + 1];
    if (n > 0) {
      for (int k = 0; k < n; ++k) put(bits == 8 ? c : k % 2 == 0 ? c >> 4 : c & 15);
    } else if (c == 0) {
      x = 0, ++y;
    } else if (c == 1) {
      break;
    } else if (c == 2) {
      x += file[at + 2], y += file[at + 3], at += 2;
    } else {
      for (int k = 0; k < c; ++k) {
        put(bits == 8 ? file[at + 2 + k] : (file[at + 2 + k / 2] >> (k % 2 == 0 ? 4 : 0)) & 15);
      }
      const size_t bytes = bits == 8 ? c : (c + 1) / 2;
      at += bytes + bytes % 2;
    }
  }
  *width = w;
  *height = h;
  return shown;
}

TEST_F(Tool, BmpFormsTheLibraryDoesNotTakeKeepTheirForm) {
  struct Case { const char* what; Shape shape; Form form; };
  const Case cases[] = {
      {"OS/2 1.x, 8 bits, 5 colours", {.bits = 8, .width = 13, .height = 5, .clr_used = 5},
       Form::kCore},
      {"OS/2 1.x, 24 bits", {.bits = 24, .width = 7, .height = 4}, Form::kCore},
      {"OS/2 1.x, 1 bit", {.bits = 1, .width = 19, .height = 6}, Form::kCore},
      {"OS/2 2.x, a 16-byte header, 4 bits", {.bits = 4, .width = 9, .height = 7},
       Form::kShortOs2},
      {"2 bits", {.bits = 2, .width = 21, .height = 5}, Form::kPlain},
      {"2 bits, top-down", {.bits = 2, .width = 11, .height = 6, .top_down = true}, Form::kPlain},
      {"RLE8, pixels skipped", {.bits = 8, .width = 300, .height = 4}, Form::kRle},
      {"RLE4, pixels skipped", {.bits = 4, .width = 17, .height = 6}, Form::kRle},
  };
  uint64_t n = 0;
  for (const Case& c : cases) {
    for (auto [word, type] : {std::pair{"right", 1}, {"left", 3}, {"half", 2}, {"mirror", 4},
                              {"flip", 6}, {"transpose", 5}, {"transverse", 7}}) {
      const std::string what = std::string(c.what) + ", " + word;
      Rng rng(900 + n++);
      Bytes dib = MakeDib(c.shape, rng);
      std::vector<bool> skip;
      if (c.form == Form::kRle) {
        // Runs of one value, and runs of skipped pixels; the last row's
        // end skipped.
        const int32_t offset = RowsOffsetOf(dib, Rules::kQuarterTurns), w = c.shape.width;
        uint32_t v = 0;
        for (int32_t y = 0; y < c.shape.height; ++y) {
          for (int32_t x = 0; x < w; ++x) {
            if (rng.Below(4) == 0) v = rng.Byte() & (c.shape.bits == 8 ? 0xFF : 0x0F);
            SetPixel(c.shape.bits, dib.data() + offset + y * StrideOf(c.shape.bits, w), x, v);
            skip.push_back(rng.Below(6) == 0 || (y == c.shape.height - 1 && x > w / 2));
          }
        }
      }
      WriteFile(At("in.bmp"), FileIn(c.form, dib, skip));
      const ToolRun r = RunTool(std::string(word) + " " + At("in.bmp") + " -o " + At("out.bmp"));
      ASSERT_EQ(r.exit_code, 0) << what << ": " << r.output;
      if (c.form != Form::kRle) {
        EXPECT_EQ(ReadFile(At("out.bmp")),
                  FileIn(c.form, OracleOriented(dib, type, Rules::kQuarterTurns), skip))
            << what;
        continue;
      }
      int32_t w = 0, h = 0, turned_w = 0, turned_h = 0;  // the turned ones are in `after`
      const Bytes before = RlePixels(FileIn(c.form, dib, skip), &w, &h);
      const Bytes after = RlePixels(ReadFile(At("out.bmp")), &turned_w, &turned_h);
      EXPECT_EQ(after, OracleRows(16, before.data(), StrideOf(16, w), w, h, type, 0)) << what;
    }
  }
  // Runs past a row's end: the pixels outside the image are dropped and
  // counted (the first run of 5 in rows of 3 leaves 2 out, and the row's
  // two runs after it 2 more).
  Rng rng(990);
  const Bytes dib = MakeDib({.bits = 8, .width = 3, .height = 2}, rng);
  Bytes file = FileIn(Form::kRle, dib, std::vector<bool>(6, false));
  file[I32At(file, 10)] = 5;
  WriteFile(At("in.bmp"), file);
  const ToolRun r = RunTool("right " + At("in.bmp") + " -o " + At("out.bmp"));
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("put 4 pixels past their row's end"), std::string::npos) << r.output;
}

// The chunks a turned PNG must have: those it had, in their places, but
// unknown ones marked unsafe to copy; pHYs and the pixel dimensions of an
// eXIf chunk (as Exif() lays them out) exchanged with the axes, its
// orientation 1 after upright.
std::vector<RawChunk> TurnedChunks(std::vector<RawChunk> chunks, bool quarter, bool upright) {
  static const std::set<std::string> kKnown = {"PLTE", "tRNS", "gAMA", "iCCP", "sPLT", "pHYs",
                                               "eXIf", "tIME", "bKGD"};
  std::erase_if(chunks, [](const RawChunk& c) { return !kKnown.count(c.type) && !(c.type[3] & 0x20); });
  for (RawChunk& c : chunks) {
    if (quarter && c.type == "pHYs") std::swap_ranges(&c.data[0], &c.data[4], &c.data[4]);
    if (quarter && c.type == "eXIf") std::swap_ranges(&c.data[48], &c.data[52], &c.data[60]);
    // The orientation, a SHORT at byte 18, in the data's byte order.
    if (upright && c.type == "eXIf") c.data[18] = c.data[0] == 'I', c.data[19] = c.data[0] == 'M';
  }
  return chunks;
}

RawTag Short(uint16_t tag, std::vector<uint16_t> values);

// A TIFF page's tags but those of its size and layout in strips or tiles,
// the resolutions exchanged where asked, the orientation 1 after upright.
std::vector<RawTag> DescriptiveTags(std::vector<RawTag> tags, bool exchange, bool upright) {
  std::erase_if(tags, [](const RawTag& t) {
    return t.tag == 256 || t.tag == 257 || (t.tag >= 273 && t.tag <= 279 && t.tag != 274 &&
                                            t.tag != 277) || t.tag == 324 || t.tag == 325;
  });
  for (RawTag& t : tags) {
    if (exchange && (t.tag == 282 || t.tag == 283)) t.tag = t.tag == 282 ? 283 : 282;
    if (upright && t.tag == 274) {
      // 1 in the file's byte order.
      const bool big = t.value.size() == 2 && t.value[0] == 0;
      t = Short(274, {1});
      if (big) std::swap(t.value[0], t.value[1]);
    }
    // The EXIF directory's pixel dimensions.
    for (RawTag& e : t.sub) {
      if (exchange && (e.tag == 40962 || e.tag == 40963)) e.tag = e.tag == 40962 ? 40963 : 40962;
    }
    std::sort(t.sub.begin(), t.sub.end(), [](auto& a, auto& b) { return a.tag < b.tag; });
  }
  std::sort(tags.begin(), tags.end(), [](auto& a, auto& b) { return a.tag < b.tag; });
  return tags;
}

// How many strips (or tiles) a page has, and its rows per strip (0 where
// not given).
uint32_t StripCount(const Layout& l) {
  for (const RawTag& t : l.tags) {
    if (t.tag == 273 || t.tag == 324) return t.count;
  }
  return 0;
}
uint32_t RowsPerStrip(const Layout& l) {
  for (const RawTag& t : l.tags) {
    if (t.tag == 278) return t.type == 3 ? t.value[0] | t.value[1] << 8 : U32At(t.value, 0);
  }
  return 0;
}

RawTag Short(uint16_t tag, std::vector<uint16_t> values) {
  RawTag t{tag, 3, static_cast<uint32_t>(values.size()), {}};
  for (uint16_t v : values) t.value.insert(t.value.end(), {uint8_t(v), uint8_t(v >> 8)});
  return t;
}
RawTag Long(uint16_t tag, std::vector<uint32_t> values) {
  RawTag t{tag, 4, static_cast<uint32_t>(values.size()), {}};
  for (uint32_t v : values) {
    t.value.insert(t.value.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  }
  return t;
}
RawTag Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
  RawTag t = Long(tag, {numerator, denominator});
  t.type = 5;
  t.count = 1;
  return t;
}
RawTag Ascii(uint16_t tag, const std::string& text) {
  RawTag t{tag, 2, static_cast<uint32_t>(text.size() + 1), Bytes(text.begin(), text.end())};
  t.value.push_back(0);
  return t;
}
// A tEXt, zTXt (compressed) or iTXt (uncompressed, no language) chunk.
RawChunk Text(const std::string& type, const std::string& keyword, const std::string& text,
              bool after = false) {
  RawChunk c{type, Bytes(keyword.begin(), keyword.end()), after};
  c.data.push_back(0);
  Bytes body(text.begin(), text.end());
  if (type == "zTXt") {
    uLongf size = compressBound(text.size());
    body.resize(size);
    compress(body.data(), &size, reinterpret_cast<const Bytef*>(text.data()), text.size());
    body.resize(size);
    c.data.push_back(0);  // the method
  }
  if (type == "iTXt") c.data.insert(c.data.end(), {0, 0, 0, 0});
  c.data.insert(c.data.end(), body.begin(), body.end());
  return c;
}

// TIFF and PNG files of every layout the tool turns, each way round: every
// page turned pixel for pixel as it is displayed (under its orientation),
// its layout, compression, predictor, tiles and strips kept, every other
// tag or chunk kept byte for byte in its place, resolutions (and eXIf's
// pixel dimensions) exchanged by a quarter turn, unknown PNG chunks unsafe
// to copy dropped; PNG written without interlacing.
TEST_F(Tool, TiffAndPngPagesTurnWithTheirLayoutKept) {
  const Bytes profile = {'a', 'c', 's', 'p', 1, 2, 3, 4, 5, 6, 7, 8};
  const auto kPng = Container::kPng;
  const std::string big_text(200000, 'x');
  const Bytes palette_suggestion = {'s', 'c', 'a', 'n', 0, 8, 1, 2, 3, 4, 0, 5};
  struct Case { const char* what; Layout layout; uint32_t width, height; int pages; };
  const Case cases[] = {
      {"fax, Group 4, 3 pages",
       {.colour = PHOTOMETRIC_MINISWHITE, .bits_per_sample = 1,
        .compression = COMPRESSION_CCITTFAX4, .x_res = 204, .y_res = 196, .text = "fax"},
       173, 61, 3},
      {"fax, Group 4, strips of 16 rows",
       {.colour = PHOTOMETRIC_MINISWHITE, .bits_per_sample = 1,
        .compression = COMPRESSION_CCITTFAX4, .rows_per_strip = 16},
       90, 61, 2},
      {"fax, Group 3",
       {.colour = PHOTOMETRIC_MINISWHITE, .bits_per_sample = 1,
        .compression = COMPRESSION_CCITTFAX3, .x_res = 204, .y_res = 98},
       64, 33, 2},
      {"bilevel, min-is-black, uncompressed, one strip",
       {.colour = PHOTOMETRIC_MINISBLACK, .bits_per_sample = 1, .rows_per_strip = 70}, 35, 70,
       1},
      {"grey, LZW with predictor, 2 pages",
       {.colour = PHOTOMETRIC_MINISBLACK, .compression = COMPRESSION_LZW, .predictor = 2,
        .x_res = 300, .y_res = 300},
       61, 29, 2},
      {"RGB, Deflate, profile",
       {.colour = PHOTOMETRIC_RGB, .samples = 3, .compression = COMPRESSION_ADOBE_DEFLATE,
        .x_res = 300, .y_res = 150, .profile = profile},
       45, 31, 1},
      // Tags as libtiff would not write them back: a one-value page number,
      // a bits-per-sample count past the samples, exact rationals, a tag of
      // nobody's.
      {"RGB, tags as their writer left them",
       {.colour = PHOTOMETRIC_RGB, .samples = 3, .x_res = 72.8f, .y_res = 3,
        .tags = {Short(297, {3}), Short(258, {8, 8, 8, 1}), Rational(282, 728, 10),
                 Rational(283, 3, 1), Ascii(65000, "a private tag"),
                 {34665, 4, 1, {}, {Long(40962, {21}), Short(40963, {13}), Ascii(36867, "2026")}},
                 {34853, 4, 1, {}, {{0, 1, 4, {2, 3, 0, 0}}}}}},
       21, 13, 1},
      {"palette, PackBits, 2 pages",
       {.colour = PHOTOMETRIC_PALETTE, .compression = COMPRESSION_PACKBITS}, 50, 21, 2},
      {"4-bit palette, tiled",
       {.colour = PHOTOMETRIC_PALETTE, .bits_per_sample = 4, .tile = 16}, 37, 40, 1},
      {"RGBA, LZW, tiled",
       {.colour = PHOTOMETRIC_RGB, .samples = 4, .compression = COMPRESSION_LZW, .tile = 32},
       70, 33, 1},
      {"grey and alpha", {.colour = PHOTOMETRIC_MINISBLACK, .samples = 2}, 19, 23, 1},
      // Every sample size and kind, samples that are not colours, planes.
      {"grey, 16 bits, LZW with predictor, big-endian, 2 pages",
       {.colour = PHOTOMETRIC_MINISBLACK, .bits_per_sample = 16, .compression = COMPRESSION_LZW,
        .predictor = 2, .big_endian = true},
       23, 11, 2},
      {"RGB, 16 bits, Deflate",
       {.colour = PHOTOMETRIC_RGB, .bits_per_sample = 16, .samples = 3,
        .compression = COMPRESSION_ADOBE_DEFLATE},
       17, 9, 1},
      {"grey, 2 bits", {.colour = PHOTOMETRIC_MINISBLACK, .bits_per_sample = 2}, 19, 7, 1},
      {"grey, 12 bits, LZW",
       {.colour = PHOTOMETRIC_MINISBLACK, .bits_per_sample = 12, .compression = COMPRESSION_LZW},
       13, 9, 1},
      {"RGB, 12 bits, tiled",
       {.colour = PHOTOMETRIC_RGB, .bits_per_sample = 12, .samples = 3, .tile = 16}, 21, 18, 1},
      {"grey, floating point with its predictor",
       {.colour = PHOTOMETRIC_MINISBLACK, .bits_per_sample = 32,
        .compression = COMPRESSION_ADOBE_DEFLATE, .predictor = 3,
        .sample_format = SAMPLEFORMAT_IEEEFP},
       11, 13, 1},
      {"grey, signed 16 bits",
       {.colour = PHOTOMETRIC_MINISBLACK, .bits_per_sample = 16, .sample_format = SAMPLEFORMAT_INT},
       9, 8, 1},
      {"CMYK, LZW",
       {.colour = PHOTOMETRIC_SEPARATED, .samples = 4, .compression = COMPRESSION_LZW}, 15, 10, 1},
      {"CMYK and alpha", {.colour = PHOTOMETRIC_SEPARATED, .samples = 5}, 10, 7, 1},
      {"CIE Lab", {.colour = PHOTOMETRIC_CIELAB, .samples = 3}, 9, 6, 1},
      {"RGB, separate planes, 2 pages",
       {.colour = PHOTOMETRIC_RGB, .samples = 3, .planar = true, .rows_per_strip = 4}, 14, 9, 2},
      {"RGBA, 16 bits, separate planes, tiled",
       {.colour = PHOTOMETRIC_RGB, .bits_per_sample = 16, .samples = 4, .tile = 16,
        .planar = true},
       20, 17, 1},
      {"5 samples of 64-bit floating point",
       {.colour = PHOTOMETRIC_RGB, .bits_per_sample = 64, .samples = 5,
        .sample_format = SAMPLEFORMAT_IEEEFP},
       7, 5, 1},
      {"YCbCr subsampled 2 x 2, LZW",
       {.colour = PHOTOMETRIC_YCBCR, .samples = 3, .compression = COMPRESSION_LZW, .sub_h = 2,
        .sub_v = 2, .rows_per_strip = 4},
       12, 10, 1},
      {"YCbCr, not subsampled", {.colour = PHOTOMETRIC_YCBCR, .samples = 3}, 7, 5, 1},
      // Shown otherwise than stored: mirrored ones turn the other way.
      {"bilevel, shown mirrored (2)",
       {.colour = PHOTOMETRIC_MINISWHITE, .bits_per_sample = 1, .orientation = 2}, 21, 9, 1},
      {"grey, shown transposed (5)", {.colour = PHOTOMETRIC_MINISBLACK, .orientation = 5}, 11,
       7, 2},
      {"RGB, shown turned (6)", {.colour = PHOTOMETRIC_RGB, .samples = 3, .orientation = 6}, 9,
       5, 1},
      {"palette, shown transversed (7)",
       {.colour = PHOTOMETRIC_PALETTE, .compression = COMPRESSION_LZW, .orientation = 7}, 12, 6,
       1},
      {"PNG 1-bit grey",
       {.container = kPng, .colour = 0, .bits_per_sample = 1, .x_res = 300, .y_res = 150},
       77, 20, 1},
      {"PNG 4-bit palette", {.container = kPng, .colour = 3, .bits_per_sample = 4}, 33, 9, 1},
      {"PNG 8-bit palette, interlaced",
       {.container = kPng, .colour = 3, .compression = 1}, 41, 30, 1},
      {"PNG 8-bit grey", {.container = kPng, .colour = 0, .x_res = 96, .y_res = 72}, 40, 17, 1},
      {"PNG RGB, text and profile",
       {.container = kPng, .colour = 2, .samples = 3, .text = "scan", .profile = profile},
       29, 31, 1},
      {"PNG RGBA, interlaced",
       {.container = kPng, .colour = 6, .samples = 4, .compression = 1}, 30, 13, 1},
      {"PNG grey and alpha", {.container = kPng, .colour = 4, .samples = 2}, 14, 26, 1},
      {"PNG 2-bit grey", {.container = kPng, .colour = 0, .bits_per_sample = 2}, 21, 9, 1},
      {"PNG 2-bit palette, interlaced",
       {.container = kPng, .colour = 3, .bits_per_sample = 2, .compression = 1}, 13, 11, 1},
      {"PNG 16-bit grey", {.container = kPng, .colour = 0, .bits_per_sample = 16}, 15, 8, 1},
      {"PNG 16-bit RGB",
       {.container = kPng, .colour = 2, .bits_per_sample = 16, .samples = 3}, 11, 7, 1},
      {"PNG 16-bit RGBA, interlaced",
       {.container = kPng, .colour = 6, .bits_per_sample = 16, .samples = 4, .compression = 1},
       9, 10, 1},
      {"PNG 16-bit grey and alpha",
       {.container = kPng, .colour = 4, .bits_per_sample = 16, .samples = 2}, 8, 5, 1},
      // Every kind of chunk a real file carries, before and after the image.
      {"PNG, chunks of every kind",
       {.container = kPng, .colour = 2, .samples = 3, .x_res = 300, .y_res = 200,
        .chunks = {{"sPLT", palette_suggestion}, {"prVt", {1, 2}}, {"prVT", {3}},
                   Text("tEXt", "Title", "a scan"), Text("zTXt", "Comment", "compressed words"),
                   Text("iTXt", "XML:com.adobe.xmp", "<x/>", true),
                   Text("tEXt", "Comment", big_text, true), Text("tEXt", "Author", "", true),
                   {"tIME", {7, 234, 12, 9, 19, 30, 0}, true}, {"prVt", {4}, true},
                   {"prVT", {5}, true}}},
       17, 6, 1},
      {"PNG grey, EXIF orientation 5",
       {.container = kPng, .colour = 0, .orientation = 5, .chunks = {{"eXIf", Exif(5, 13, 7)}}},
       13, 7, 1},
      {"PNG palette, EXIF orientation 7, big-endian, short",
       {.container = kPng, .colour = 3,  .orientation = 7,
        .chunks = {{"eXIf", Exif(7, 10, 3, 3, true)}}},
       10, 3, 1},
      {"PNG RGB, EXIF orientation 6",
       {.container = kPng, .colour = 2, .samples = 3, .orientation = 6,
        .chunks = {{"eXIf", Exif(6, 6, 4)}}},
       6, 4, 1},
  };
  uint64_t n = 0;
  for (const Case& c : cases) {
    // RotateFlip's types; -1 for upright.
    for (auto [word, type] : {std::pair{"right", 1}, {"left", 3}, {"half", 2}, {"mirror", 4},
                              {"flip", 6}, {"transpose", 5}, {"transverse", 7}, {"upright", -1}}) {
      const std::string what = std::string(c.what) + ", " + word;
      Rng rng(800 + n++);
      const std::vector<Picture> pages = RandomPictures(c.layout, c.width, c.height, c.pages, rng);
      const Bytes file = WriteImageFile(c.layout, pages);
      WriteFile(At("in"), file);
      // Some read standard input (read whole, not by offsets).
      const std::string from = type == 2 || type == 5 || type < 0 ? "- < " + At("in") : At("in");
      const ToolRun r = RunTool(std::string(word) + " " + from + " -o " + At("out"));
      ASSERT_EQ(r.exit_code, 0) << what << ": " << r.output;
      Layout in, got;
      std::vector<Picture> read, turned;
      std::string error;
      ASSERT_TRUE(ReadImageFile(file, &in, &read, &error)) << what << error;
      ASSERT_TRUE(ReadImageFile(ReadFile(At("out")), &got, &turned, &error)) << what << error;
      ASSERT_EQ(turned.size(), pages.size()) << what;
      const int bits = c.layout.BitsPerPixel(), o = c.layout.orientation;
      const bool upright = type < 0;
      if (upright && o == 1) {
        EXPECT_EQ(ReadFile(At("out")), file) << what << ": upright already, copied as it is";
        EXPECT_NE(r.output.find("already upright"), std::string::npos) << what << r.output;
      }
      for (std::size_t k = 0; k < pages.size(); ++k) {
        // As displayed: the picture shown, turned, is what the turned file
        // shows; made upright, what shows without the tag.
        const Picture shown_before = Oriented(pages[k], bits, o);
        const Picture want = upright ? shown_before : Turned(shown_before, bits, type);
        const Picture shown = Oriented(turned[k], bits, upright ? 1 : o);
        EXPECT_EQ(shown.width, want.width) << what;
        EXPECT_EQ(shown.height, want.height) << what;
        EXPECT_EQ(shown.rows, want.rows) << what << ", page " << k + 1;
      }
      Layout want = c.layout;
      // The stored pixels' axes exchange as the picture's do, or (upright)
      // as the tag's.
      const bool exchange = upright ? QuadturnUprightType(o) % 2 != 0 : type % 2 != 0;
      if (exchange) std::swap(want.x_res, want.y_res);
      // Written anew (not interlaced), unless upright already: then copied.
      const bool copied = upright && o == 1;
      if (want.container == kPng && !copied) want.compression = 0;
      EXPECT_EQ(got.colour, want.colour) << what;
      EXPECT_EQ(got.bits_per_sample, want.bits_per_sample) << what;
      EXPECT_EQ(got.samples, want.samples) << what;
      EXPECT_EQ(got.sample_format, want.sample_format) << what;
      EXPECT_EQ(got.planar, want.planar) << what;
      EXPECT_EQ(got.sub_h * 10 + got.sub_v, want.sub_h * 10 + want.sub_v) << what;
      EXPECT_EQ(got.big_endian, want.big_endian) << what;
      EXPECT_EQ(got.compression, want.compression) << what;
      EXPECT_EQ(got.predictor, want.predictor) << what;
      EXPECT_EQ(got.tile, want.tile) << what;
      EXPECT_NEAR(got.x_res, want.x_res, 0.1) << what;
      EXPECT_NEAR(got.y_res, want.y_res, 0.1) << what;
      EXPECT_EQ(got.text, want.text) << what;
      EXPECT_EQ(got.profile, want.profile) << what;
      if (c.layout.container == kPng) {
        EXPECT_EQ(got.chunks, copied ? in.chunks : TurnedChunks(in.chunks, exchange, upright))
            << what;
      } else {
        EXPECT_EQ(DescriptiveTags(got.tags, false, false),
                  DescriptiveTags(in.tags, exchange, upright))
            << what;
        // One strip stays one; strips keep their rows (a fax's 16 stay 16).
        if (StripCount(in) == 1) {
          EXPECT_EQ(StripCount(got), 1u) << what;
        }
        if (StripCount(in) > 1 && c.layout.tile == 0) {
          EXPECT_EQ(RowsPerStrip(got), RowsPerStrip(in)) << what;
        }
      }
    }
  }
}

// Animated PNGs: every frame turned as the image is and put where the turn
// takes its place on the canvas (found by turning a canvas with the place
// marked), the sequence numbers counting up again.
TEST_F(Tool, AnimatedPngFramesTurnWithTheImage) {
  const auto kPng = Container::kPng;
  const Layout layouts[] = {{.container = kPng, .colour = 0},
                            {.container = kPng, .colour = 3, .bits_per_sample = 4, .compression = 1},
                            {.container = kPng, .colour = 6, .bits_per_sample = 16, .samples = 4}};
  struct Place { uint32_t x, y, width, height; };
  const Place places[] = {{2, 1, 5, 4}, {9, 3, 4, 4}, {0, 0, 13, 7}, {12, 6, 1, 1}};
  const uint32_t kWidth = 13, kHeight = 7;
  uint64_t n = 0;
  for (const Layout& layout : layouts) {
    const int bits = layout.BitsPerPixel();
    for (auto [word, type] : {std::pair{"right", 1}, {"half", 2}, {"left", 3}, {"mirror", 4},
                              {"transpose", 5}, {"flip", 6}, {"transverse", 7}}) {
      const std::string what = std::to_string(bits) + "-bit colour type " +
                               std::to_string(layout.colour) + ", " + word;
      Rng rng(900 + n++);
      const Picture image = RandomPictures(layout, kWidth, kHeight, 1, rng).front();
      std::vector<Frame> frames;
      for (const Place& p : places) {
        frames.push_back({RandomPictures(layout, p.width, p.height, 1, rng).front(), p.x, p.y});
      }
      WriteFile(At("in"), WriteAnimatedPng(layout, image, frames));
      const ToolRun r = RunTool(std::string(word) + " " + At("in") + " -o " + At("out"));
      ASSERT_EQ(r.exit_code, 0) << what << ": " << r.output;
      const Bytes out = ReadFile(At("out"));
      Layout got;
      std::vector<Picture> pages;
      std::vector<Frame> turned;
      std::string error;
      ASSERT_TRUE(ReadImageFile(out, &got, &pages, &error)) << what << error;
      EXPECT_EQ(pages.front().rows, Turned(image, bits, type).rows) << what;
      ASSERT_TRUE(ReadPngFrames(out, &turned, &error)) << what << ": " << error;
      ASSERT_EQ(turned.size(), frames.size()) << what;
      for (std::size_t k = 0; k < frames.size(); ++k) {
        const Place& p = places[k];
        Picture canvas{kWidth, kHeight, Bytes(kWidth * kHeight, 0)};
        for (uint32_t y = p.y; y < p.y + p.height; ++y) {
          std::fill_n(&canvas.rows[y * kWidth + p.x], p.width, 1);
        }
        const Picture marked = Turned(canvas, 8, type);
        const auto first = std::find(marked.rows.begin(), marked.rows.end(), 1) - marked.rows.begin();
        EXPECT_EQ(turned[k].x, static_cast<uint32_t>(first % marked.width)) << what << ", frame " << k;
        EXPECT_EQ(turned[k].y, static_cast<uint32_t>(first / marked.width)) << what << ", frame " << k;
        const Picture want = Turned(frames[k].picture, bits, type);
        EXPECT_EQ(turned[k].picture.width, want.width) << what << ", frame " << k;
        EXPECT_EQ(turned[k].picture.rows, want.rows) << what << ", frame " << k;
      }
    }
  }
}

// The type the stored pixels take so that a picture shown under EXIF or
// TIFF orientation `o` shows turned by `type` (upright, -1: shows as it
// was), found by trying each on a picture no symmetry maps to itself.
int StoredTypeUnder(int o, int type) {
  const Picture p{3, 2, {1, 2, 3, 4, 5, 6}};
  const Picture want = type < 0 ? Oriented(p, 8, o) : Turned(Oriented(p, 8, o), 8, type);
  for (int t = 0; t < 8; ++t) {
    if (Oriented(Turned(p, 8, t), 8, type < 0 ? 1 : o).rows == want.rows &&
        Oriented(Turned(p, 8, t), 8, type < 0 ? 1 : o).width == want.width) {
      return t;
    }
  }
  return -1;
}

// The EXIF data of a JPEG's markers (without "Exif\0\0"), or none.
Bytes ExifOf(const std::vector<std::pair<int, Bytes>>& markers) {
  for (const auto& [marker, data] : markers) {
    if (marker == 0xE1 && data.size() > 6 && std::equal(data.begin(), data.begin() + 6, "Exif\0")) {
      return Bytes(data.begin() + 6, data.end());
    }
  }
  return {};
}

// The Orientation in IFD0 of EXIF data, read entry by entry (0: none).
int ExifOrientationOf(const Bytes& e) {
  const bool big = e[0] == 'M';
  auto u16 = [&](size_t at) { return big ? e[at] << 8 | e[at + 1] : e[at] | e[at + 1] << 8; };
  const size_t ifd = big ? size_t{e[6]} << 8 | e[7] : size_t{e[4]} | size_t{e[5]} << 8;
  for (int k = 0; k < u16(ifd); ++k) {
    if (u16(ifd + 2 + 12 * k) == 0x0112) return u16(ifd + 2 + 12 * k + 8);
  }
  return 0;
}

// JPEG files turn without decoding: every block of every component where
// the turn puts it, its coefficients transposed or changing sign as the
// oracle says; progressive files stay progressive; comments and APP
// segments (a profile over two APP2 segments) kept in their order; JFIF
// density, EXIF pixel dimensions exchanged by a quarter turn; the EXIF
// orientation kept (1 after upright), its thumbnail turned too. With
// --trim, the partial blocks at an edge the turn moves are dropped.
TEST_F(Tool, JpegFilesTurnTheirBlocksWithoutLoss) {
  const Bytes icc1 = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 2, 'a', 'b'};
  Bytes icc2 = icc1;
  icc2[12] = 2;
  const Bytes comment = {'a', ' ', 's', 'c', 'a', 'n'};
  struct Case {
    const char* what; JpegLayout layout; int orientation; bool thumbnail; bool trim;
    bool tag = false;  // -t: the EXIF orientation records the turn, the blocks stay
  };
  const Case cases[] = {
      {"4:2:0", {.width = 48, .height = 32}, 1, false, false},
      {"4:2:0, progressive, restart markers, a comment, a profile in two APP2 segments",
       {.width = 64, .height = 48, .progressive = true, .restart_interval = 2,
        .markers = {{0xFE, comment}, {0xE2, icc1}, {0xE2, icc2}}},
       1, false, false},
      {"grey", {.width = 24, .height = 40, .components = 1}, 1, false, false},
      {"4:4:4, shown turned (6), a thumbnail", {.width = 40, .height = 24, .h = 1, .v = 1}, 6,
       true, false},
      {"4:2:2, shown mirrored (2), no JFIF", {.width = 32, .height = 16, .h = 2, .v = 1,
                                              .jfif = false},
       2, true, false},
      {"CMYK", {.width = 16, .height = 24, .components = 4, .h = 1, .v = 1}, 1, false, false},
      {"4:2:0, 50 x 37, trimmed", {.width = 50, .height = 37}, 1, false, true},
      {"4:2:0, 50 x 37, no EXIF, -t", {.width = 50, .height = 37}, 1, false, false, true},
      {"4:4:4, shown transposed (5), -t", {.width = 24, .height = 8, .h = 1, .v = 1}, 5, true,
       false, true},
  };
  uint64_t n = 0;
  for (const Case& c : cases) {
    for (auto [word, type] : {std::pair{"right", 1}, {"left", 3}, {"half", 2}, {"mirror", 4},
                              {"flip", 6}, {"transpose", 5}, {"transverse", 7}, {"upright", -1}}) {
      if (c.tag && type < 0) continue;
      const std::string what = std::string(c.what) + ", " + word;
      Rng rng(1000 + n++);
      JpegLayout layout = c.layout;
      Bytes thumbnail;
      if (c.thumbnail) thumbnail = WriteJpeg({.width = 32, .height = 16, .jfif = false}, rng);
      if (c.orientation != 1 || c.thumbnail) {
        Bytes exif = {'E', 'x', 'i', 'f', 0, 0};
        const Bytes data = Exif(c.orientation, layout.width, layout.height, 4, n % 2 == 0, thumbnail);
        exif.insert(exif.end(), data.begin(), data.end());
        layout.markers.insert(layout.markers.begin(), {0xE1, exif});
      }
      const Bytes file = WriteJpeg(layout, rng);
      WriteFile(At("in.jpg"), file);
      const ToolRun r = RunTool(std::string(word) + (c.trim ? " --trim " : c.tag ? " -t " : " ") +
                                At("in.jpg") + " -o " + At("out.jpg"));
      ASSERT_EQ(r.exit_code, 0) << what << ": " << r.output;
      JpegBlocks in, out;
      std::string error;
      ASSERT_TRUE(ReadJpegBlocks(file, &in, &error)) << what << error;
      ASSERT_TRUE(ReadJpegBlocks(ReadFile(At("out.jpg")), &out, &error)) << what << error;
      const int stored = c.tag ? 0 : StoredTypeUnder(c.orientation, type);
      // The partial blocks at an edge the turn moves go with --trim.
      const uint32_t mcu_w = 8 * in.max_h, mcu_h = 8 * in.max_v;
      const bool moves_x = stored == 2 || stored == 3 || stored == 4 || stored == 7;
      const bool moves_y = stored == 1 || stored == 2 || stored == 6 || stored == 7;
      const uint32_t w = moves_x ? in.width - in.width % mcu_w : in.width;
      const uint32_t h = moves_y ? in.height - in.height % mcu_h : in.height;
      const JpegBlocks want = TurnedBlocks(in, stored, w, h);
      EXPECT_EQ(out.width, want.width) << what;
      EXPECT_EQ(out.height, want.height) << what;
      EXPECT_TRUE(out.components == want.components) << what;
      EXPECT_EQ(out.progressive, in.progressive) << what;
      EXPECT_EQ(out.x_density * 1000 + out.y_density, want.x_density * 1000 + want.y_density)
          << what;
      // Every segment as it was but the EXIF data.
      auto others = [](std::vector<std::pair<int, Bytes>> m) {
        std::erase_if(m, [](const auto& x) { return x.first == 0xE1; });
        return m;
      };
      EXPECT_EQ(others(out.markers), others(in.markers)) << what;
      const Bytes exif = ExifOf(out.markers);
      if (c.tag) {
        // The orientation under which the stored picture shows turned.
        const Picture p{3, 2, {1, 2, 3, 4, 5, 6}};
        int o = 1;
        while (o < 8 && Oriented(p, 8, o).rows != Turned(Oriented(p, 8, c.orientation), 8, type).rows) ++o;
        ASSERT_FALSE(exif.empty()) << what;
        EXPECT_EQ(ExifOrientationOf(exif), o) << what;
        continue;
      }
      ASSERT_EQ(exif.empty(), ExifOf(in.markers).empty()) << what;
      if (exif.empty()) continue;
      const bool big = exif[0] == 'M';
      auto u16 = [&](size_t at) { return big ? exif[at] << 8 | exif[at + 1] : exif[at] | exif[at + 1] << 8; };
      auto u32 = [&](size_t at) {
        return big ? uint32_t(u16(at)) << 16 | u16(at + 2) : uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16;
      };
      // As Exif() lays it out: the orientation at 18, the pixel dimensions
      // at 48 and 60, IFD1's thumbnail offset and length at 78 and 90.
      EXPECT_EQ(u16(18), type < 0 ? 1 : c.orientation) << what;
      EXPECT_EQ(u32(48), stored % 2 != 0 ? layout.height : layout.width) << what;
      EXPECT_EQ(u32(60), stored % 2 != 0 ? layout.width : layout.height) << what;
      if (c.thumbnail) {
        JpegBlocks small, small_turned;
        ASSERT_TRUE(ReadJpegBlocks(thumbnail, &small, &error)) << what << error;
        const Bytes turned_thumbnail(exif.begin() + u32(78), exif.begin() + u32(78) + u32(90));
        ASSERT_TRUE(ReadJpegBlocks(turned_thumbnail, &small_turned, &error)) << what << error;
        EXPECT_TRUE(small_turned.components ==
                    TurnedBlocks(small, stored, small.width, small.height).components)
            << what << ", thumbnail";
      }
    }
  }
}

// JPEG-compressed TIFF pages turn at the level of their blocks too, strips
// and tiles read into one page of blocks and cut into the page's layout
// again: every block where the oracle puts it.
TEST_F(Tool, JpegTiffPagesTurnTheirBlocksWithoutLoss) {
  struct Case { const char* what; Layout layout; uint32_t width, height; bool trim; };
  const Case cases[] = {
      {"YCbCr 2 x 2, strips of 16 rows",
       {.colour = PHOTOMETRIC_YCBCR, .samples = 3, .compression = COMPRESSION_JPEG, .sub_h = 2,
        .sub_v = 2, .rows_per_strip = 16},
       48, 32, false},
      {"RGB, tiles of 16", {.colour = PHOTOMETRIC_RGB, .samples = 3,
                            .compression = COMPRESSION_JPEG, .tile = 16}, 48, 40, false},
      {"grey, one strip", {.colour = PHOTOMETRIC_MINISBLACK, .compression = COMPRESSION_JPEG},
       40, 24, false},
      {"YCbCr 2 x 2, 50 x 37, trimmed",
       {.colour = PHOTOMETRIC_YCBCR, .samples = 3, .compression = COMPRESSION_JPEG, .sub_h = 2,
        .sub_v = 2, .rows_per_strip = 16},
       50, 37, true},
  };
  uint64_t n = 0;
  for (const Case& c : cases) {
    for (auto [word, type] : {std::pair{"right", 1}, {"left", 3}, {"half", 2}, {"mirror", 4},
                              {"flip", 6}, {"transpose", 5}, {"transverse", 7}}) {
      const std::string what = std::string(c.what) + ", " + word;
      Rng rng(1100 + n++);
      const Bytes file = WriteImageFile(c.layout, RandomPictures(c.layout, c.width, c.height, 1, rng));
      WriteFile(At("in.tif"), file);
      const ToolRun r = RunTool(std::string(word) + (c.trim ? " --trim " : " ") + At("in.tif") +
                                " -o " + At("out.tif"));
      ASSERT_EQ(r.exit_code, 0) << what << ": " << r.output;
      JpegBlocks in, out;
      std::string error;
      ASSERT_TRUE(ReadTiffJpegBlocks(file, &in, &error)) << what << error;
      ASSERT_TRUE(ReadTiffJpegBlocks(ReadFile(At("out.tif")), &out, &error)) << what << error;
      const bool moves_x = type == 2 || type == 3 || type == 4 || type == 7;
      const bool moves_y = type == 1 || type == 2 || type == 6 || type == 7;
      const uint32_t w = moves_x ? in.width - in.width % (8 * in.max_h) : in.width;
      const uint32_t h = moves_y ? in.height - in.height % (8 * in.max_v) : in.height;
      const JpegBlocks want = TurnedBlocks(in, type, w, h);
      EXPECT_EQ(out.width, want.width) << what;
      EXPECT_EQ(out.height, want.height) << what;
      EXPECT_TRUE(out.components == want.components) << what;
    }
  }
}

// With --orientation-tag a TIFF page keeps its pixels, compression (JPEG
// too) and resolutions, and its Orientation tag records the turn; other
// formats turn as usual.
TEST_F(Tool, OrientationTagRecordsTheTurnAndLeavesThePixels) {
  struct Case { const char* what; Layout layout; int pages; const char* verb; int orientation; };
  const Case cases[] = {
      {"JPEG RGB, right",
       {.colour = PHOTOMETRIC_RGB, .samples = 3, .compression = COMPRESSION_JPEG}, 1, "right",
       6},
      {"fax, Group 4, 2 pages, left",
       {.colour = PHOTOMETRIC_MINISWHITE, .bits_per_sample = 1,
        .compression = COMPRESSION_CCITTFAX4, .x_res = 204, .y_res = 98},
       2, "left", 8},
      {"grey, LZW, shown turned, half",
       {.colour = PHOTOMETRIC_MINISBLACK, .compression = COMPRESSION_LZW, .orientation = 6}, 1,
       "half", 8},
      {"palette, mirrored, right",
       {.colour = PHOTOMETRIC_PALETTE, .compression = COMPRESSION_PACKBITS, .orientation = 2},
       1, "right", 7},
      {"CMYK, left", {.colour = PHOTOMETRIC_SEPARATED, .samples = 4, .orientation = 5}, 1,
       "left", 4},
      {"palette, mirrored, mirror",
       {.colour = PHOTOMETRIC_PALETTE, .orientation = 2}, 1, "mirror", 1},
      {"grey, transpose", {.colour = PHOTOMETRIC_MINISBLACK}, 1, "transpose", 5},
      {"grey, shown turned, flip", {.colour = PHOTOMETRIC_MINISBLACK, .orientation = 6}, 1,
       "flip", 7},
      {"RGB, shown half turned, transverse",
       {.colour = PHOTOMETRIC_RGB, .samples = 3, .orientation = 3}, 1, "transverse", 5},
  };
  uint64_t n = 0;
  for (const Case& c : cases) {
    Rng rng(900 + n++);
    const std::vector<Picture> pages = RandomPictures(c.layout, 48, 16, c.pages, rng);
    WriteFile(At("in"), WriteImageFile(c.layout, pages));
    const ToolRun r =
        RunTool(std::string(c.verb) + " --orientation-tag " + At("in") + " -o " + At("out"));
    ASSERT_EQ(r.exit_code, 0) << c.what << ": " << r.output;
    Layout in, out;
    std::vector<Picture> before, after;
    std::string error;
    ASSERT_TRUE(ReadImageFile(ReadFile(At("in")), &in, &before, &error)) << c.what << error;
    ASSERT_TRUE(ReadImageFile(ReadFile(At("out")), &out, &after, &error)) << c.what << error;
    ASSERT_EQ(after.size(), before.size()) << c.what;
    for (std::size_t k = 0; k < before.size(); ++k) {
      EXPECT_EQ(after[k].rows, before[k].rows) << c.what << ", page " << k + 1;
    }
    EXPECT_EQ(out.orientation, c.orientation) << c.what;
    EXPECT_EQ(out.compression, c.layout.compression) << c.what;
    EXPECT_EQ(out.x_res, c.layout.x_res) << c.what;
  }
  // A PNG file has no such tag: it turns as usual.
  const Layout png{.container = Container::kPng, .colour = 0};
  Rng rng(950);
  const std::vector<Picture> pages = RandomPictures(png, 9, 4, 1, rng);
  WriteFile(At("in.png"), WriteImageFile(png, pages));
  ASSERT_EQ(RunTool("right -t " + At("in.png") + " -o " + At("out.png")).exit_code, 0);
  Layout got;
  std::vector<Picture> turned;
  std::string error;
  ASSERT_TRUE(ReadImageFile(ReadFile(At("out.png")), &got, &turned, &error)) << error;
  EXPECT_EQ(turned[0].rows, Turned(pages[0], 8, 1).rows);
}

// Resolutions follow a quarter turn unless asked to stay.
TEST_F(Tool, ResolutionsFollowTheTurnUnlessKept) {
  const Bytes dib = Image(510, {.bits = 1, .width = 40, .height = 9, .x_ppm = 8031, .y_ppm = 3858});
  WriteFile(At("fax.bmp"), BmpFile(dib));
  ASSERT_EQ(RunTool("right " + At("fax.bmp") + " -o " + At("a.bmp")).exit_code, 0);
  const Bytes a = ReadFile(At("a.bmp"));
  EXPECT_EQ(I32At(a, 14 + 24), 3858);
  EXPECT_EQ(I32At(a, 14 + 28), 8031);
  for (const char* keep : {"--keep-resolution", "-k"}) {
    ASSERT_EQ(RunTool("right " + std::string(keep) + " " + At("fax.bmp") + " -o " + At("b.bmp"))
                  .exit_code, 0);
    const Bytes b = ReadFile(At("b.bmp"));
    EXPECT_EQ(I32At(b, 14 + 24), 8031) << keep;
    EXPECT_EQ(I32At(b, 14 + 28), 3858) << keep;
  }
}

// A V5 file with its colour profile behind the rows, a gap before the rows
// and another before the profile: the written file has the turned rows and
// the profile right behind them, bV5ProfileData restated. Built by hand.
TEST_F(Tool, ColourProfilesAreCarried) {
  for (uint32_t cs_type : {0x4D424544u, 0x4C494E4Bu}) {  // embedded, linked
    Bytes header(124, 0);
    PutU32(header, 0, 124);
    PutU32(header, 4, 3);   // 3 x 2, 24 bits
    PutU32(header, 8, 2);
    header[12] = 1;
    header[14] = 24;
    PutU32(header, 56, cs_type);
    const Bytes rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0,  // bottom row
                        10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
    const Bytes profile = {'p', 'r', 'o', 'f', 'i', 'l', 'e', '!', 0};
    // File: header at 14, gap of 4, rows at 142, gap of 3, profile at 169.
    Bytes file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 142, 0, 0, 0};
    PutU32(header, 112, 169 - 14);
    PutU32(header, 116, static_cast<uint32_t>(profile.size()));
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), 4, 0xEE);
    file.insert(file.end(), rows.begin(), rows.end());
    file.insert(file.end(), 3, 0xDD);
    file.insert(file.end(), profile.begin(), profile.end());
    PutU32(file, 2, static_cast<uint32_t>(file.size()));
    WriteFile(At("v5.bmp"), file);
    ASSERT_EQ(RunTool("right " + At("v5.bmp") + " -o " + At("out.bmp")).exit_code, 0);

    // Turned clockwise: 2 x 3, rows of 6 bytes padded to 8, bottom row first.
    Bytes turned_header = header;
    PutU32(turned_header, 4, 2);
    PutU32(turned_header, 8, 3);
    PutU32(turned_header, 20, 24);
    PutU32(turned_header, 112, 124 + 24);
    const Bytes turned_rows = {7, 8, 9, 16, 17, 18, 0, 0,  4, 5, 6, 13, 14, 15, 0, 0,
                               1, 2, 3, 10, 11, 12, 0, 0};
    Bytes expected = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 14 + 124, 0, 0, 0};
    expected.insert(expected.end(), turned_header.begin(), turned_header.end());
    expected.insert(expected.end(), turned_rows.begin(), turned_rows.end());
    expected.insert(expected.end(), profile.begin(), profile.end());
    PutU32(expected, 2, static_cast<uint32_t>(expected.size()));
    EXPECT_EQ(ReadFile(At("out.bmp")), expected) << std::hex << cs_type;
  }
}

TEST_F(Tool, BadInputGetsOneClearLineAndNothingWritten) {
  const Bytes good = BmpFile(Image(50, {.bits = 8, .width = 4, .height = 3}));
  struct Case { const char* what; Bytes file; const char* says; std::string options = ""; };
  auto patch = [](Bytes b, int offset, uint32_t value, int width = 4) {
    for (int i = 0; i < width; ++i) b[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    return b;
  };
  auto patched = [&](int offset, uint32_t value, int width = 4) {
    return patch(good, offset, value, width);
  };
  // A 64-byte OS/2 header at `bits` with compression `c`; JPEG and PNG
  // inside a BMP say 0 bits per pixel.
  auto os2 = [&](int bits, uint32_t c) {
    return patch(patch(patched(14, 64), 14 + 14, bits, 2), 14 + 16, c);
  };
  auto embedded = [&](uint32_t c) { return patch(patched(14 + 14, 0, 2), 14 + 16, c); };
  // TIFF and PNG files of layouts that cannot be turned without loss.
  auto file = [](const Layout& l) {
    Rng rng(51);
    return WriteImageFile(l, RandomPictures(l, 9, 5, 1, rng));
  };
  const Bytes tiff = file({.colour = PHOTOMETRIC_MINISBLACK});
  const Bytes png = file({.container = Container::kPng, .colour = 0});
  Rng jpeg_rng(52);
  const Bytes jpeg = WriteJpeg({.width = 48, .height = 37}, jpeg_rng);
  const Bytes small_jpeg = WriteJpeg({.width = 8, .height = 8}, jpeg_rng);
  // A chunk whose length says more than the file holds.
  Bytes lying = file({.container = Container::kPng, .colour = 0, .chunks = {{"tEXt", {'a', 0}}}});
  const auto text_at = std::search(lying.begin(), lying.end(), std::begin("tEXt"), std::end("tEXt") - 1);
  lying = patch(lying, static_cast<int>(text_at - lying.begin()) - 4, 0xF0FFFF7Fu);
  const Case cases[] = {
      {"TIFF, JPEG, partial blocks a quarter turn would move",
       file({.colour = PHOTOMETRIC_RGB, .samples = 3, .compression = COMPRESSION_JPEG}),
       "page 1: not supported without loss: its height of 5 pixels is not whole JPEG blocks "
       "of 8"},
      // Chroma subsampled unequally cannot be stated turned; an edge data
      // unit partly outside the page cannot move to the other edge.
      {"TIFF, YCbCr 2 x 1, a quarter turn",
       file({.colour = PHOTOMETRIC_YCBCR, .samples = 3, .sub_h = 2, .sub_v = 1}),
       "YCbCr subsampled 2 x 1 cannot be turned a quarter turn"},
      {"TIFF, YCbCr 2 x 2, an odd height, a quarter turn",
       file({.colour = PHOTOMETRIC_YCBCR, .samples = 3, .sub_h = 2, .sub_v = 2}),
       "with a height of 5, not whole data units"},
      {"TIFF, a compression libtiff reads but cannot write",
       file({.colour = PHOTOMETRIC_MINISBLACK, .tags = {Short(259, {32771})}}),
       "compression, which this tool cannot write back; -t turns it"},
      {"TIFF, truncated", Bytes(tiff.begin(), tiff.begin() + 20), "truncated TIFF file"},
      {"TIFF, cut in half", Bytes(tiff.begin(), tiff.begin() + tiff.size() / 2),
       "truncated TIFF file"},
      {"TIFF, strips past the end", file({.colour = 1, .tags = {Long(273, {1u << 20})}}),
       "truncated TIFF file (its image data runs past its end)"},
      {"TIFF, tiles far larger than the page",
       file({.colour = 1, .tile = 16, .tags = {Long(322, {65536}), Long(323, {65536})}}),
       "damaged: tiles of 65536 x 65536 pixels for a page of 9 x 5"},
      {"TIFF -t, strips over the same bytes",
       file({.colour = 1, .tags = {Long(273, {8, 8, 8, 8, 8})}, .rows_per_strip = 1}),
       "overlap", "-t"},
      {"TIFF, a page over the limit", tiff, "more than the 44 allowed (--max-page-bytes",
       "--max-page-bytes 44"},
      {"BMP, a page over the limit", good, "too large: a page of 12 bytes",
       "--max-page-bytes 11"},
      {"JPEG, partial blocks a quarter turn would move",
       jpeg, "not supported without loss: its height of 37 pixels is not whole blocks of 16"},
      {"JPEG, smaller than a block the turn moves", small_jpeg,
       "smaller than one block of 16 x 16 the turn would move; -t records"},
      {"JPEG, cut inside its header", Bytes(jpeg.begin(), jpeg.begin() + 30), "truncated JPEG file"},
      {"PNG, truncated", Bytes(png.begin(), png.end() - 20), "PNG file"},
      {"PNG, cut inside its signature", Bytes(png.begin(), png.begin() + 5),
       "truncated PNG file"},
      {"PNG, a chunk longer than the file", lying, "its 'tEXt' chunk says it holds"},
      {"PNG, an animation frame outside the image",
       file({.container = Container::kPng, .colour = 0,
             .chunks = {{"acTL", {0, 0, 0, 2, 0, 0, 0, 0}},
                        {"fcTL", {0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0, 0, 0,
                                  0, 1, 0, 1, 0, 0}, true}}}),
       "damaged animated PNG (a frame of 9 x 9 at 1, 0 outside the image)"},
      {"not an image", Bytes{'P', 'N', 'G', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
       "not an image file"},
      {"empty", Bytes{}, "empty file"},
      {"truncated header", Bytes(good.begin(), good.begin() + 30), "truncated BMP file"},
      {"truncated rows", Bytes(good.begin(), good.end() - 1), "truncated"},
      {"RLE8 rows from the top", patch(patched(14 + 16, 1), 14 + 8, static_cast<uint32_t>(-3)),
       "damaged: run-length encoded rows stored from the top"},
      {"JPEG", patched(14 + 16, 4), "compressed (JPEG)"},
      {"JPEG, 0 bits", embedded(4), "compressed (JPEG)"},
      {"PNG, 0 bits", embedded(5), "compressed (PNG)"},
      {"RLE4 at 8 bits", patched(14 + 16, 2), "compressed (RLE4)"},
      {"OS/2 RLE24", os2(24, 4), "compressed (RLE24, OS/2)"},
      {"OS/2 Huffman", os2(1, 3), "compressed (Huffman 1D, OS/2)"},
      {"impossible colour table", patched(14 + 32, 0xFFFFFFFFu),
       "damaged: a colour table of 4294967295 entries"},
      {"offset past the end", patched(10, 0xFFFFF000u), "past the end of the file"},
      {"bit fields at 8 bits", patched(14 + 16, 3), "compressed (bit fields)"},
      {"3 bits", patched(14 + 14, 3, 2), "not supported: 3 bits per pixel"},
      {"two planes", patched(14 + 12, 2, 2), "not supported: 2 planes"},
      {"a header too short for any", patched(14, 14), "damaged: a header of 14 bytes"},
      {"negative width", patched(14 + 4, static_cast<uint32_t>(-4)), "damaged: negative width"},
      {"too large", patched(14 + 4, 0x7FFFFFF0u), "too large"},
      {"offset inside table", patched(10, 20), "pixel data offset"},
  };
  for (const Case& c : cases) {
    WriteFile(At("bad.bmp"), c.file);
    const ToolRun r = RunTool("right " + c.options + " " + At("bad.bmp") + " -o " + At("out.bmp"));
    EXPECT_EQ(r.exit_code, 1) << c.what;
    EXPECT_NE(r.output.find(At("bad.bmp") + ": "), std::string::npos) << c.what << ": " << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.what << ": " << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    EXPECT_EQ(ReadFile(At("bad.bmp")), c.file) << "input unchanged: " << c.what;
    ExpectOnlyFiles({"bad.bmp"});
  }
}

// Devices are neither read nor replaced, a huge file of zeros is refused
// from its first bytes, and a file past 2 GiB is a file like any other.
TEST_F(Tool, DevicesAndHugeFilesOfZeros) {
  WriteFile(At("a.bmp"), BmpFile(Image(60)));
  ToolRun r = RunTool("right /dev/zero -o " + At("z.bmp"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("not a regular file"), std::string::npos) << r.output;
  r = RunTool("right " + At("a.bmp") + " -o /dev/null");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("not a regular file"), std::string::npos) << r.output;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  if (mknod(At("dev").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    r = RunTool("right " + At("a.bmp") + " -o " + At("dev"));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(fs::is_character_file(At("dev"))) << "the device node is still a device";
    fs::remove(At("dev"));
  }
  // 2 GB of zeros, without storing them.
  {
    std::FILE* f = std::fopen(At("zeros.bmp").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(ftruncate(fileno(f), off_t{2} << 30), 0);
    std::fclose(f);
  }
  r = RunTool("right " + At("zeros.bmp") + " -o " + At("z.bmp"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("not an image file"), std::string::npos) << r.output;
  // An image followed by unused bytes to 2.5 GiB (stored sparse): turned.
  ASSERT_EQ(truncate(At("a.bmp").c_str(), off_t{5} << 29), 0);
  r = RunTool("right " + At("a.bmp") + " -o " + At("t.bmp"));
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(ReadFile(At("t.bmp")), TurnedFile(Image(60), 1)) << r.output;
  fs::remove(At("t.bmp"));
  ExpectOnlyFiles({"a.bmp", "zeros.bmp"});
}

// Links are followed for reading and writing; the link stays a link.
TEST_F(Tool, SymbolicLinksAreFollowed) {
  const Bytes dib = Image(70);
  WriteFile(At("real.bmp"), BmpFile(dib));
  fs::create_symlink("real.bmp", At("link.bmp"));
  ToolRun r = RunTool("right -i " + At("link.bmp"));
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_TRUE(fs::is_symlink(At("link.bmp")));
  EXPECT_EQ(ReadFile(At("real.bmp")), TurnedFile(dib, 1));

  WriteFile(At("other.bmp"), BmpFile(dib));
  r = RunTool("left " + At("other.bmp") + " -o " + At("link.bmp"));
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_TRUE(fs::is_symlink(At("link.bmp")));
  EXPECT_EQ(ReadFile(At("real.bmp")), TurnedFile(dib, -1));
  // A link to a file yet to be made: the file is made where it points.
  fs::create_symlink("made.bmp", At("dangling.bmp"));
  ASSERT_EQ(RunTool("half " + At("other.bmp") + " -o " + At("dangling.bmp")).exit_code, 0);
  EXPECT_TRUE(fs::is_symlink(At("dangling.bmp")));
  EXPECT_EQ(ReadFile(At("made.bmp")), TurnedFile(dib, 2));
}

// The same file under two names is turned once, in every mode.
TEST_F(Tool, TheSameFileTwiceIsTurnedOnce) {
  const Bytes dib = Image(80);
  fs::create_directory(dir_ / "out");
  for (const std::string& mode : {"-d " + At("out"), std::string("-i")}) {
    WriteFile(At("a.bmp"), BmpFile(dib));
    const ToolRun r = RunTool("right " + mode + " " + At("a.bmp") + " " + dir_.string() + "/./a.bmp");
    EXPECT_EQ(r.exit_code, 0) << mode << ": " << r.output;
    EXPECT_NE(r.output.find("same file as"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("1 turned, 0 failed"), std::string::npos) << r.output;
  }
  EXPECT_EQ(ReadFile(At("a.bmp")), TurnedFile(dib, 1)) << "turned once, not twice";
}

// Runs that would lose an image: an output that is another input (written
// before that input is read), two inputs written to one output, a file with
// a second name that replacing it would leave behind. Nothing is written.
TEST_F(Tool, NoImageIsLostToAnotherInputsOutput) {
  struct Case {
    const char* what;
    std::string args;
    int exit_code;
    const char* says;
  };
  const Case cases[] = {
      {"output over a later input", "right sub/x.bmp x.bmp -d .", 2, "which is the input x.bmp"},
      {"output over an earlier input", "right x.bmp sub/x.bmp -d sub", 2,
       "which is the input sub/x.bmp"},
      {"two inputs, one output", "right x.bmp sub/x.bmp -d out", 2, "would both be written to"},
      {"a second name", "right -i x.bmp", 1, "2 names (hard links)"},
      {"a second name, written to", "right sub/x.bmp -o linked.bmp", 1, "2 names (hard links)"},
  };
  const Bytes top = BmpFile(Image(81)), sub = BmpFile(Image(82, {.bits = 24, .width = 3}));
  for (const Case& c : cases) {
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sub");
    fs::create_directory(dir_ / "out");
    WriteFile(At("x.bmp"), top);
    WriteFile(dir_ / "sub" / "x.bmp", sub);
    if (std::string(c.what).find("second name") != std::string::npos) {
      fs::create_hard_link(At("x.bmp"), At("linked.bmp"));
    }
    const ToolRun r = RunTool(c.args, dir_.string());
    EXPECT_EQ(r.exit_code, c.exit_code) << c.what << ": " << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.what << ": " << r.output;
    EXPECT_EQ(ReadFile(At("x.bmp")), top) << c.what;
    EXPECT_EQ(ReadFile(dir_ / "sub" / "x.bmp"), sub) << c.what;
    EXPECT_TRUE(fs::is_empty(dir_ / "out")) << c.what;
  }
}

// Each file that fails for want of memory fails alone: the next one turns.
TEST_F(Tool, OutOfMemoryFailsOneFileNotTheBatch) {
#ifdef QT_TOOL_SANITIZED
  GTEST_SKIP() << "a sanitized tool cannot start under a limit on its address space";
#endif
  // A 24-bit 10000 x 10000 image, 300 MB, stored sparse: a valid header and
  // zeros, more than the child may allocate.
  Bytes header = Image(90, {.bits = 24, .width = 1, .height = 1});
  PutU32(header, 4, 10000);
  PutU32(header, 8, 10000);
  header.resize(40);
  const uint64_t size = 14 + 40 + uint64_t{30000} * 10000;
  Bytes start = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
  start.insert(start.end(), header.begin(), header.end());
  WriteFile(At("big.bmp"), start);
  ASSERT_EQ(truncate(At("big.bmp").c_str(), static_cast<off_t>(size)), 0);
  const Bytes small = Image(91);
  WriteFile(At("small.bmp"), BmpFile(small));
  fs::create_directory(dir_ / "out");

  const pid_t child = fork();
  if (child == 0) {
    const rlimit limit{200u << 20, 200u << 20};
    setrlimit(RLIMIT_AS, &limit);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    const int err = open(At("err.txt").c_str(), O_WRONLY | O_CREAT, 0644);
    dup2(err, STDERR_FILENO);
    execl(QT_TOOL, QT_TOOL, "right", At("big.bmp").c_str(), At("small.bmp").c_str(), "-d",
          (dir_ / "out").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by a signal";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const Bytes err = ReadFile(At("err.txt"));
  const std::string text(err.begin(), err.end());
  EXPECT_NE(text.find("big.bmp: out of memory"), std::string::npos) << text;
  EXPECT_EQ(ReadFile(dir_ / "out" / "small.bmp"), TurnedFile(small, 1));
  EXPECT_FALSE(fs::exists(dir_ / "out" / "big.bmp"));
}

TEST_F(Tool, StandardInputAndOutput) {
  const Bytes dib = Image(100, {.bits = 4, .width = 7, .height = 3});
  WriteFile(At("a.bmp"), BmpFile(dib));
  const ToolRun r = RunTool("left - -o - < " + At("a.bmp") + " > " + At("b.bmp"));
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(r.output, "") << "nothing but the image on standard output";
  EXPECT_EQ(ReadFile(At("b.bmp")), TurnedFile(dib, -1));
}

TEST_F(Tool, SeveralFilesOneBadTheOthersStillTurn) {
  const Bytes a = Image(52, {.bits = 24, .width = 3, .height = 2});
  const Bytes b = Image(53, {.bits = 32, .width = 5, .height = 4, .top_down = true});
  WriteFile(At("a.bmp"), BmpFile(a));
  WriteFile(At("bad.bmp"), Bytes{'n', 'o', 'p', 'e'});
  WriteFile(At("b.bmp"), BmpFile(b));
  fs::create_directory(dir_ / "out");
  const ToolRun r = RunTool("right " + At("a.bmp") + " " + At("bad.bmp") + " " +
                            At("missing.bmp") + " " + At("b.bmp") + " -d " + (dir_ / "out").string() +
                            "/");
  EXPECT_EQ(r.exit_code, 1) << r.output;
  // The folder's own trailing separator is not doubled.
  EXPECT_NE(r.output.find("-> " + (dir_ / "out" / "b.bmp").string()), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("missing.bmp: cannot read"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("bad.bmp: not an image file"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("2 turned, 2 failed"), std::string::npos) << r.output;
  std::set<std::string> outputs;
  for (const auto& e : fs::directory_iterator(dir_ / "out")) outputs.insert(e.path().filename().string());
  EXPECT_EQ(outputs, (std::set<std::string>{"a.bmp", "b.bmp"}));
  EXPECT_EQ(ReadFile(dir_ / "out" / "b.bmp"), TurnedFile(b, 1));
}

// A file replaced keeps its mode (less set-user-ID and set-group-ID) and,
// where the user may set them (root here), its owner and group; with -i and
// with -o over it.
TEST_F(Tool, ReplacingKeepsModeOwnerAndGroup) {
  const Bytes dib = Image(54, {.bits = 24, .width = 6, .height = 2});
  const bool root = geteuid() == 0;
  for (const std::string& mode : {std::string("--in-place"), "-o " + At("x.bmp")}) {
    WriteFile(At("x.bmp"), BmpFile(dib));
    WriteFile(At("in.bmp"), BmpFile(dib));
    fs::permissions(At("x.bmp"), fs::perms(06750));
    if (root) {
      ASSERT_EQ(chown(At("x.bmp").c_str(), 65534, 65534), 0);
    }
    const std::string input = mode == "--in-place" ? At("x.bmp") : At("in.bmp");
    const ToolRun r = RunTool("left " + mode + " " + input);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(ReadFile(At("x.bmp")), TurnedFile(dib, -1));
    EXPECT_EQ(fs::status(At("x.bmp")).permissions(), fs::perms(0750))
        << mode << ": mode kept, set-user-ID and set-group-ID not";
    struct stat st;
    ASSERT_EQ(stat(At("x.bmp").c_str(), &st), 0);
    if (root) {
      EXPECT_EQ(st.st_uid, 65534u) << mode;
      EXPECT_EQ(st.st_gid, 65534u) << mode;
    }
    ExpectOnlyFiles({"x.bmp", "in.bmp"});
  }
}

// Runs turning one file at once take turns: every run that says it turned
// the file did, so two quarter turns make a half turn, round after round.
TEST_F(Tool, TwoRunsOnOneFileTakeTurns) {
  const Bytes dib = Image(57, {.bits = 24, .width = 700, .height = 500});
  const std::string command = std::string(QT_TOOL) + " right -i " + At("c.bmp");
  const Bytes once = Oracle(dib, 1, Rules::kQuarterTurns);
  const Bytes twice = Oracle(once, 1, Rules::kQuarterTurns);
  for (int round = 0; round < 8; ++round) {
    WriteFile(At("c.bmp"), BmpFile(dib));
    const ToolRun r = RunTool("right -i " + At("c.bmp") + " & " + command + "; wait");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    ASSERT_EQ(ReadFile(At("c.bmp")), BmpFile(twice, RowsOffsetOf(twice, Rules::kQuarterTurns)))
        << "round " << round << ": " << r.output;
  }
  ExpectOnlyFiles({"c.bmp"});
}

// A run killed while it writes leaves no file behind: the new file has no
// name until it is complete (where the file system can do that).
TEST_F(Tool, AKilledRunLeavesNoFileBehind) {
  const int probe = open(dir_.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (probe < 0) GTEST_SKIP() << "this file system makes no unnamed files";
  close(probe);
  const Bytes dib = Image(58, {.bits = 24, .width = 3000, .height = 3000});
  WriteFile(At("big.bmp"), BmpFile(dib));
  for (int delay_ms : {5, 20, 60}) {
    const ToolRun r = RunTool("right " + At("big.bmp") + " -o " + At("out.bmp") + " & sleep " +
                              std::to_string(delay_ms / 1000.0) + "; kill -9 $!; wait");
    (void)r;
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      EXPECT_TRUE(name == "big.bmp" || name == "out.bmp") << "left behind: " << name;
    }
    if (fs::exists(At("out.bmp"))) {
      EXPECT_EQ(ReadFile(At("out.bmp")), TurnedFile(dib, 1)) << "complete, or not there";
    }
  }
}

TEST_F(Tool, UnwritableTargetLeavesEverythingAsItWas) {
  const Bytes in = BmpFile(Image(55, {.bits = 8, .width = 3, .height = 3}));
  WriteFile(At("x.bmp"), in);
  fs::create_directory(dir_ / "taken");  // a folder where the output file should go
  const ToolRun r = RunTool("right " + At("x.bmp") + " -o " + At("taken"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("cannot write"), std::string::npos) << r.output;
  EXPECT_EQ(ReadFile(At("x.bmp")), in);
  ExpectOnlyFiles({"x.bmp", "taken"});
  EXPECT_TRUE(fs::is_empty(dir_ / "taken"));
}

// Only "/" separates names on Linux: a backslash is part of the name.
TEST_F(Tool, BackslashIsPartOfAName) {
  WriteFile(At("a\\b.bmp"), BmpFile(Image(56)));
  fs::create_directory(dir_ / "out");
  const ToolRun r = RunTool("right '" + At("a\\b.bmp") + "' -d " + (dir_ / "out").string());
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_TRUE(fs::exists(dir_ / "out" / "a\\b.bmp"));
}

TEST_F(Tool, OptionsAndUsageErrors) {
  WriteFile(At("x.bmp"), BmpFile(Image(57)));
  WriteFile(At("file.bmp"), BmpFile(Image(58)));
  struct Case { std::string args; int exit_code; const char* says; };
  const Case cases[] = {
      {"--help", 0, "Usage: quadturn VERB"},
      {"--version", 0, "quadturn 0."},
      {"", 2, "say what to do"},
      {"sideways x.bmp -o y.bmp", 2, "must be right, left, half, mirror"},
      {"upright -t x.bmp -o y.bmp", 2, "-t cannot go with it"},
      {"right", 2, "no input files"},
      {"right x.bmp", 2, "say where to write"},
      {"right x.bmp -o a.bmp --in-place", 2, "say where to write"},
      {"right x.bmp y.bmp -o a.bmp", 2, "-o takes one input file"},
      {"right --frobnicate x.bmp", 2, "unknown option"},
      {"right x.bmp -o", 2, "needs a value"},
      {"right x.bmp -o " + At("a.bmp") + " -o " + At("b.bmp"), 2, "only once"},
      {"right x.bmp -o " + At("nodir/x.bmp"), 2, "does not exist"},
      {"right x.bmp -d " + At("nodir"), 2, "does not exist"},
      {"right x.bmp -d " + At("file.bmp"), 2, "is not a folder"},
      {"right -i -", 2, "cannot replace standard input"},
      {"right - -d " + dir_.string(), 2, "standard input has no name to write under"},
      {"right x.bmp --output=", 2, "-o needs a file name"},
      {"right -qz x.bmp -o y.bmp", 2, "unknown option -z"},
      {"right x.bmp --max-page-bytes 1X -o y.bmp", 2, "--max-page-bytes takes a number"},
      {"right " + At("x.bmp") + " --max-page-bytes=1k -o " + At("small.bmp"), 0, ""},
      // The name says another format: nothing written under it.
      {"right " + At("x.bmp") + " -o " + At("x.jpg"), 1, "says JPEG, but the image is BMP"},
      {"right " + At("x.bmp") + " --output=" + At("long.bmp"), 0, ""},
      {"right -qo " + At("grouped.bmp") + " " + At("x.bmp"), 0, ""},
      // A flag twice is the flag once; a place to write twice is an error.
      {"right -i -i -qq -k --keep-resolution " + At("file.bmp"), 0, ""},
      {"right x.bmp -d " + dir_.string() + " -d " + dir_.string(), 2, "only once"},
      // Lines that cannot be written fail the run.
      {"right " + At("x.bmp") + " -o " + At("full.bmp") + " > /dev/full", 1,
       "cannot write to standard output"},
  };
  for (const Case& c : cases) {
    const ToolRun r = RunTool(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.args << ": " << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << ": " << r.output;
  }
  EXPECT_TRUE(fs::exists(At("long.bmp")));
  EXPECT_TRUE(fs::exists(At("grouped.bmp")));
  EXPECT_TRUE(fs::exists(At("small.bmp")));
  EXPECT_FALSE(fs::exists(At("x.jpg")));
  // No image is written to a terminal.
  const ToolRun shown = RunOnTerminal(std::string(QT_TOOL) + " right " + At("x.bmp") + " -o -");
  EXPECT_EQ(shown.exit_code, 2) << shown.output;
  EXPECT_NE(shown.output.find("will not write an image to a terminal"), std::string::npos)
      << shown.output;
}

// On a terminal, a long batch shows one progress line overwritten in place;
// elsewhere, and with -q, none.
TEST_F(Tool, ProgressOnATerminalOnly) {
  std::string files;
  for (int i = 0; i < 12; ++i) {
    WriteFile(At("f" + std::to_string(i) + ".bmp"), BmpFile(Image(600 + i)));
    files += " " + At("f" + std::to_string(i) + ".bmp");
  }
  fs::create_directory(dir_ / "out");
  for (bool quiet : {false, true}) {
    const ToolRun r = RunOnTerminal(std::string(QT_TOOL) + (quiet ? " -q" : "") + " right" + files +
                                    " -d " + (dir_ / "out").string() + " > /dev/null");
    const std::string& seen = r.output;
    EXPECT_EQ(r.exit_code, 0) << seen;
    if (quiet) {
      EXPECT_EQ(seen, "");
    } else {
      EXPECT_NE(seen.find("\r"), std::string::npos) << seen;
      EXPECT_NE(seen.find("[12/12]"), std::string::npos) << seen;
      EXPECT_NE(seen.find("12 turned, 0 failed"), std::string::npos) << seen;
    }
  }
  const ToolRun piped = RunTool("right" + files + " -d " + (dir_ / "out").string());
  EXPECT_EQ(piped.output.find("\r"), std::string::npos) << "no progress line into a pipe";
}

TEST_F(Tool, SamplesAreWhatTheirMakerWrites) {
  for (const char* maker : {QT_MAKE_SAMPLES, QT_MAKE_FAX_SAMPLE, QT_MAKE_FILE_SAMPLES}) {
    ASSERT_EQ(std::system((std::string(maker) + " " + dir_.string() + " >/dev/null").c_str()), 0);
  }
  for (const char* name : {"chart-1.bmp", "chart-8.bmp", "chart-24.bmp", "fax.tif", "chart.tif",
                           "chart.png", "chart.jpg"}) {
    EXPECT_EQ(ReadFile(dir_ / name), ReadFile(fs::path(QT_SAMPLES) / name)) << name;
  }
}

}  // namespace
}  // namespace quadturn::test
