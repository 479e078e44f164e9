// The quadturn tool end to end: the samples, generated files of each depth,
// every kind of bad input, several files at once, in-place and folder output.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "test_images.h"

namespace qt_test {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exit_code;
  std::string output;  // stdout and stderr together
};

ToolRun RunTool(const std::string& args) {
  const std::string command = std::string(QT_TOOL) + " " + args + " 2>&1";
  std::FILE* p = popen(command.c_str(), "r");
  ToolRun r{-1, ""};
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.output.append(buffer, n);
  const int status = pclose(p);
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

// A BMP file around a packed DIB, with `gap` spare bytes before the rows.
Bytes BmpFile(const Bytes& dib, uint32_t gap = 0) {
  const uint32_t offset = 14 + PixelOffsetOf(dib) + gap;
  Bytes file(14, 0);
  file[0] = 'B';
  file[1] = 'M';
  PutU32(file, 2, static_cast<uint32_t>(14 + dib.size() + gap));
  PutU32(file, 10, offset);
  file.insert(file.end(), dib.begin(), dib.begin() + PixelOffsetOf(dib));
  file.insert(file.end(), gap, 0xEE);
  file.insert(file.end(), dib.begin() + PixelOffsetOf(dib), dib.end());
  return file;
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
  fs::path dir_;
};

TEST_F(Tool, SamplesTurnAndTurnBackByteForByte) {
  for (const char* name : {"chart-1.bmp", "chart-8.bmp", "chart-24.bmp"}) {
    const std::string in = std::string(QT_SAMPLES) + "/" + name;
    ASSERT_EQ(RunTool("right " + in + " -o " + At("r.bmp")).exit_code, 0) << name;
    ASSERT_EQ(RunTool("left " + At("r.bmp") + " -o " + At("rl.bmp")).exit_code, 0) << name;
    ASSERT_EQ(RunTool("left " + in + " -o " + At("l.bmp")).exit_code, 0) << name;
    ASSERT_EQ(RunTool("right " + At("l.bmp") + " -o " + At("lr.bmp")).exit_code, 0) << name;
    const Bytes original = ReadFile(in);
    EXPECT_EQ(ReadFile(At("rl.bmp")), original) << name;
    EXPECT_EQ(ReadFile(At("lr.bmp")), original) << name;
    const Bytes turned = ReadFile(At("r.bmp"));
    EXPECT_EQ(I32At(turned, 18), I32At(original, 22)) << name;
    EXPECT_EQ(I32At(turned, 22), I32At(original, 18)) << name;
  }
}

TEST_F(Tool, GeneratedImagesOfEachDepthAndDirection) {
  // Odd sizes with row padding, a wrong biSizeImage and a gap before the rows.
  for (int bits : {1, 8, 24}) {
    for (const char* turn : {"right", "left", "half"}) {
      Rng rng(40 + bits);
      const Bytes dib = MakeDib({.bits = bits, .width = 13, .height = 5, .size_image = 7}, rng);
      WriteFile(At("in.bmp"), BmpFile(dib, 6));
      const ToolRun r = RunTool(std::string(turn) + " " + At("in.bmp") + " -o " + At("out.bmp"));
      ASSERT_EQ(r.exit_code, 0) << r.output;
      const Bytes out = ReadFile(At("out.bmp"));
      Bytes expected = std::string(turn) == "left" ? OracleTurn(dib, Turn::kLeft)
                                                   : OracleTurn(dib, Turn::kRight);
      if (std::string(turn) == "half") expected = OracleTurn(expected, Turn::kRight);
      ASSERT_EQ(out.size(), 14 + expected.size()) << bits << turn;
      EXPECT_EQ(Bytes(out.begin() + 14, out.end()), expected) << bits << " " << turn;
      EXPECT_EQ(U32At(out, 2), out.size()) << "bfSize";
      EXPECT_EQ(U32At(out, 10), 14u + PixelOffsetOf(dib)) << "bfOffBits: gap closed";
    }
  }
}

TEST_F(Tool, BadInputGetsOneClearLineAndNothingWritten) {
  Rng rng(50);
  const Bytes good = BmpFile(MakeDib({.bits = 8, .width = 4, .height = 3}, rng));
  struct Case { const char* what; Bytes file; const char* says; };
  auto patched = [&](int offset, uint32_t value, int width = 4) {
    Bytes b = good;
    for (int i = 0; i < width; ++i) b[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    return b;
  };
  const Case cases[] = {
      {"not a BMP", Bytes{'P', 'N', 'G', 0, 1, 2}, "not a BMP file"},
      {"empty", Bytes{}, "not a BMP file"},
      {"truncated header", Bytes(good.begin(), good.begin() + 30), "truncated"},
      {"truncated rows", Bytes(good.begin(), good.end() - 1), "truncated pixel data"},
      {"compressed", patched(14 + 16, 1), "compressed"},
      {"top-down", patched(14 + 8, static_cast<uint32_t>(-3)), "top-down"},
      {"16 bits", patched(14 + 14, 16, 2), "16-bit image is not turned"},
      {"4 bits", patched(14 + 14, 4, 2), "4-bit image is not turned"},
      {"old header", patched(14, 12), "unsupported header"},
      {"offset inside table", patched(10, 20), "pixel data offset"},
  };
  for (const Case& c : cases) {
    WriteFile(At("bad.bmp"), c.file);
    const ToolRun r = RunTool("right " + At("bad.bmp") + " -o " + At("out.bmp"));
    EXPECT_EQ(r.exit_code, 1) << c.what;
    EXPECT_NE(r.output.find(At("bad.bmp") + ": "), std::string::npos) << c.what << ": " << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.what << ": " << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    EXPECT_EQ(ReadFile(At("bad.bmp")), c.file) << "input unchanged: " << c.what;
    ExpectOnlyFiles({"bad.bmp"});
  }
}

TEST_F(Tool, ImagesTheLibraryLeavesAloneAreReportedNotCopied) {
  Rng rng(51);
  // A 1-bit image with a 108-byte header and a two-entry table: laid out as
  // a 24-bit one with two table entries, then marked as 1 bit.
  Bytes v4 = BmpFile(
      MakeDib({.bits = 24, .width = 9, .height = 3, .header_bytes = 108, .clr_used = 2}, rng));
  v4[14 + 14] = 1;
  WriteFile(At("v4.bmp"), v4);
  const ToolRun r = RunTool("left " + At("v4.bmp") + " -d " + dir_.string() + "/out");
  EXPECT_EQ(r.exit_code, 2) << "the output folder does not exist: " << r.output;
  EXPECT_NE(r.output.find("does not exist"), std::string::npos) << r.output;
  fs::create_directory(dir_ / "out");
  const ToolRun again = RunTool("left " + At("v4.bmp") + " -d " + dir_.string() + "/out");
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_NE(again.output.find("left untouched"), std::string::npos) << again.output;
  EXPECT_TRUE(fs::is_empty(dir_ / "out"));
}

TEST_F(Tool, SeveralFilesOneBadTheOthersStillTurn) {
  Rng rng(52);
  const Bytes a = BmpFile(MakeDib({.bits = 24, .width = 3, .height = 2}, rng));
  const Bytes b = BmpFile(MakeDib({.bits = 8, .width = 5, .height = 4}, rng));
  WriteFile(At("a.bmp"), a);
  WriteFile(At("bad.bmp"), Bytes{'n', 'o', 'p', 'e'});
  WriteFile(At("b.bmp"), b);
  fs::create_directory(dir_ / "out");
  const ToolRun r = RunTool("right " + At("a.bmp") + " " + At("bad.bmp") + " " + At("missing.bmp") +
                        " " + At("b.bmp") + " -d " + (dir_ / "out").string());
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_NE(r.output.find("missing.bmp: cannot read"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("bad.bmp: not a BMP"), std::string::npos) << r.output;
  std::set<std::string> outputs;
  for (const auto& e : fs::directory_iterator(dir_ / "out")) outputs.insert(e.path().filename().string());
  EXPECT_EQ(outputs, (std::set<std::string>{"a.bmp", "b.bmp"}));
  EXPECT_EQ(I32At(ReadFile(dir_ / "out" / "b.bmp"), 18), 4);
}

TEST_F(Tool, InPlaceReplacesEachInputWhole) {
  Rng rng(53);
  const Bytes dib = MakeDib({.bits = 24, .width = 6, .height = 2}, rng);
  WriteFile(At("x.bmp"), BmpFile(dib));
  fs::permissions(At("x.bmp"), fs::perms(0640));
  const ToolRun r = RunTool("left --in-place " + At("x.bmp"));
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const Bytes out = ReadFile(At("x.bmp"));
  EXPECT_EQ(Bytes(out.begin() + 14, out.end()), OracleTurn(dib, Turn::kLeft));
  EXPECT_EQ(fs::status(At("x.bmp")).permissions(), fs::perms(0640)) << "mode kept";
  ExpectOnlyFiles({"x.bmp"});
}

TEST_F(Tool, UnwritableTargetLeavesEverythingAsItWas) {
  Rng rng(54);
  const Bytes in = BmpFile(MakeDib({.bits = 8, .width = 3, .height = 3}, rng));
  WriteFile(At("x.bmp"), in);
  fs::create_directory(dir_ / "taken");  // a folder where the output file should go
  ToolRun r = RunTool("right " + At("x.bmp") + " -o " + At("taken"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("cannot write"), std::string::npos) << r.output;
  r = RunTool("right " + At("x.bmp") + " -o " + At("no/such/folder/y.bmp"));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("cannot write"), std::string::npos) << r.output;
  EXPECT_EQ(ReadFile(At("x.bmp")), in);
  ExpectOnlyFiles({"x.bmp", "taken"});
  EXPECT_TRUE(fs::is_empty(dir_ / "taken"));
}

TEST_F(Tool, UsageErrorsHelpAndVersion) {
  struct Case { std::string args; int exit_code; const char* says; };
  const Case cases[] = {
      {"--help", 0, "Usage: quadturn right|left|half"},
      {"--version", 0, "quadturn 0."},
      {"", 2, "say which way to turn"},
      {"sideways x.bmp -o y.bmp", 2, "must be right, left or half"},
      {"right", 2, "no input files"},
      {"right x.bmp", 2, "say where to write"},
      {"right x.bmp -o a.bmp --in-place", 2, "say where to write"},
      {"right x.bmp y.bmp -o a.bmp", 2, "-o takes one input file"},
      {"right --frobnicate x.bmp", 2, "unknown option"},
  };
  for (const Case& c : cases) {
    const ToolRun r = RunTool(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.args;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << ": " << r.output;
  }
}

TEST_F(Tool, SamplesAreWhatTheirMakerWrites) {
  ASSERT_EQ(std::system((std::string(QT_MAKE_SAMPLES) + " " + dir_.string() + " >/dev/null").c_str()), 0);
  for (const char* name : {"chart-1.bmp", "chart-8.bmp", "chart-24.bmp"}) {
    EXPECT_EQ(ReadFile(dir_ / name), ReadFile(fs::path(QT_SAMPLES) / name)) << name;
  }
}

}  // namespace
}  // namespace qt_test
