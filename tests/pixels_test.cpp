// RotateFlipPixels, the buffer entry: every type at pixel sizes from 1 bit
// to 32 bytes, out of place with strides of either sign into pre-filled
// destinations (only the result's pixels may change, the source none), in
// place with the turned rows' own stride, and each bad argument refused with
// nothing written and the last error kept. Runs against the stand-in and,
// under Wine, the DLL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "test_images.h"

namespace quadturn::test {
namespace {

int64_t RowBytes(int bits, int32_t pixels) { return (int64_t{pixels} * bits + 7) / 8; }

// How a case lays its rows out: bytes added to the packed row for the
// source's and destination's strides, and which of them run upwards (the
// pointer then names the top row, held last in memory).
struct Layout {
  const char* what;
  int src_extra, dst_extra;
  bool src_up, dst_up;
};

const Layout kLayouts[] = {
    {"packed", 0, 0, false, false},
    {"padded", 5, 3, false, false},
    {"source bottom-up", 1, 0, true, false},
    {"both bottom-up, padded", 2, 7, true, true},
};

const int kBits[] = {1, 2, 4, 8, 16, 24, 32, 40, 48, 64, 256};

struct Size {
  int32_t w, h;
};
const Size kSizes[] = {{1, 1}, {3, 5}, {9, 2}, {17, 33}, {40, 40}, {70, 41}, {130, 257}};

// Rows of an image in a buffer of their own: `rows` rows `stride` apart
// (negative: upwards from the end), the first at first().
struct Rows {
  Bytes bytes;
  std::ptrdiff_t stride;
  int32_t rows;
  uint8_t* first() { return bytes.data() + (stride < 0 ? (rows - 1) * -stride : 0); }
};

Rows MakeRows(int64_t row_bytes, int extra, bool up, int32_t count, Rng& rng) {
  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(row_bytes + extra);
  Rows r{Bytes(static_cast<size_t>(stride) * count), up ? -stride : stride, count};
  for (auto& b : r.bytes) b = rng.Byte();
  return r;
}

// `want` (the oracle's rows, stride StrideOf) written pixel by pixel over
// what `out` held: only pixels change.
Bytes Expected(int bits, const Bytes& want, int32_t w, int32_t h, Rows out) {
  const int32_t s = StrideOf(bits, w);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) CopyPixel(bits, want.data() + y * s, x, out.first() + y * out.stride, x);
  }
  return out.bytes;
}

TEST(Pixels, EveryTypeAndSizeOutOfPlaceMatchesOracle) {
  uint64_t n = 0;
  for (int bits : kBits) {
    for (Size size : kSizes) {
      for (const Layout& layout : kLayouts) {
        for (int type = 0; type < 8; ++type) {
          const uint64_t case_number = 5000000 + n++;
          Rng rng(case_number);
          const bool swap = type % 2 != 0;
          const int32_t out_w = swap ? size.h : size.w, out_h = swap ? size.w : size.h;
          Rows src = MakeRows(RowBytes(bits, size.w), layout.src_extra, layout.src_up, size.h, rng);
          Rows dst = MakeRows(RowBytes(bits, out_w), layout.dst_extra, layout.dst_up, out_h, rng);
          const Bytes src_before = src.bytes;
          const Bytes want = Expected(
              bits, OracleRows(bits, src.first(), static_cast<int32_t>(src.stride), size.w, size.h, type, 0),
              out_w, out_h, dst);
          SetLastError(4242);
          const DWORD r = RotateFlipPixels(src.first(), src.stride, dst.first(), dst.stride, size.w,
                                           size.h, bits, type);
          const std::string what = "case " + std::to_string(case_number) + ": " +
                                   std::to_string(bits) + "-bit " + std::to_string(size.w) + "x" +
                                   std::to_string(size.h) + ", " + layout.what + ", type " +
                                   std::to_string(type);
          ASSERT_EQ(r, 0u) << what;
          EXPECT_EQ(GetLastError(), 4242u) << what;
          ASSERT_EQ(src.bytes, src_before) << what << ": the source changed";
          ASSERT_EQ(dst.bytes, want) << what;
        }
      }
    }
  }
}

// In place: rows at the source's stride become rows at the result's, in
// memory as large as the larger image, guard bytes behind it untouched.
TEST(Pixels, EveryTypeInPlace) {
  constexpr size_t kGuard = 32;
  uint64_t n = 0;
  for (int bits : kBits) {
    for (Size size : kSizes) {
      for (int extra : {0, 3}) {
        for (int type = 0; type < 8; ++type) {
          const uint64_t case_number = 5100000 + n++;
          Rng rng(case_number);
          const bool swap = type % 2 != 0;
          const int32_t out_w = swap ? size.h : size.w, out_h = swap ? size.w : size.h;
          const std::ptrdiff_t ss = RowBytes(bits, size.w) + extra;
          const std::ptrdiff_t ds = swap ? RowBytes(bits, out_w) + 2 * extra : ss;
          const size_t area = std::max<size_t>(ss * size.h, ds * out_h);
          Bytes memory(area + kGuard);
          for (auto& b : memory) b = rng.Byte();
          const Bytes before = memory;
          const Bytes want =
              OracleRows(bits, before.data(), static_cast<int32_t>(ss), size.w, size.h, type, 0);
          const std::string what = "case " + std::to_string(case_number) + ": " +
                                   std::to_string(bits) + "-bit " + std::to_string(size.w) + "x" +
                                   std::to_string(size.h) + ", type " + std::to_string(type);
          ASSERT_EQ(RotateFlipPixels(memory.data(), ss, memory.data(), ds, size.w, size.h, bits, type), 0u)
              << what;
          const int32_t ws = StrideOf(bits, out_w);
          for (int32_t y = 0; y < out_h; ++y) {
            for (int32_t x = 0; x < out_w; ++x) {
              uint8_t got[32] = {}, wanted[32] = {};
              CopyPixel(bits, memory.data() + y * ds, x, got, 0);
              CopyPixel(bits, want.data() + y * ws, x, wanted, 0);
              ASSERT_TRUE(std::equal(got, got + 32, wanted)) << what << ", pixel " << x << "," << y;
            }
          }
          ASSERT_TRUE(std::equal(memory.begin() + area, memory.end(), before.begin() + area))
              << what << ": guard bytes";
        }
      }
    }
  }
}

// Each bad argument refused: nothing written, the last error as it was.
TEST(Pixels, BadArgumentsAreRefusedWithNothingWritten) {
  Bytes memory(4096, 0x5A);
  uint8_t* a = memory.data();
  uint8_t* b = memory.data() + 2048;
  struct Case {
    const char* what;
    const void* src;
    std::ptrdiff_t ss;
    void* dst;
    std::ptrdiff_t ds;
    int32_t w, h;
    int bits, type;
    DWORD error;
  };
  const std::ptrdiff_t kHuge = PTRDIFF_MAX / 2;
  const Case cases[] = {
      {"type -1", a, 8, b, 8, 8, 8, 8, -1, ERROR_INVALID_PARAMETER},
      {"type 8", a, 8, b, 8, 8, 8, 8, 8, ERROR_INVALID_PARAMETER},
      {"0 bits", a, 8, b, 8, 8, 8, 0, 1, ERROR_INVALID_PARAMETER},
      {"3 bits", a, 8, b, 8, 8, 8, 3, 1, ERROR_INVALID_PARAMETER},
      {"12 bits", a, 16, b, 16, 8, 8, 12, 1, ERROR_INVALID_PARAMETER},
      {"264 bits", a, 264, b, 264, 8, 8, 264, 1, ERROR_INVALID_PARAMETER},
      {"negative width", a, 8, b, 8, -1, 8, 8, 1, ERROR_INVALID_PARAMETER},
      {"negative height", a, 8, b, 8, 8, -3, 8, 1, ERROR_INVALID_PARAMETER},
      {"source stride short", a, 7, b, 8, 8, 8, 8, 1, ERROR_INVALID_PARAMETER},
      {"source stride short, upwards", a + 7 * 8, -7, b, 8, 8, 8, 8, 1, ERROR_INVALID_PARAMETER},
      {"result stride short", a, 24, b, 16, 8, 20, 8, 1, ERROR_INVALID_PARAMETER},
      {"1-bit row of 9 in 1 byte", a, 1, b, 2, 9, 2, 1, 0, ERROR_INVALID_PARAMETER},
      {"null source", nullptr, 8, b, 8, 8, 8, 8, 1, ERROR_INVALID_PARAMETER},
      {"null result", a, 8, nullptr, 8, 8, 8, 8, 1, ERROR_INVALID_PARAMETER},
      {"in place, stride upwards", a + 56, -8, a + 56, -8, 8, 8, 8, 1, ERROR_INVALID_PARAMETER},
      {"in place mirror, strides differ", a, 8, a, 16, 8, 8, 8, 4, ERROR_INVALID_PARAMETER},
      {"overlapping by a byte", a, 8, a + 63, 8, 8, 8, 8, 1, ERROR_INVALID_PARAMETER},
      {"overlapping rows upwards", a + 56, -8, a + 60, 8, 8, 8, 8, 2, ERROR_INVALID_PARAMETER},
      {"rows past the address space", a, kHuge, b, 8, 8, 8, 8, 1, ERROR_INVALID_PARAMETER},
      {"rows below address 0", a, -kHuge, b, 8, 8, 8, 8, 1, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SetLastError(4242);
    const Bytes before = memory;
    EXPECT_EQ(RotateFlipPixels(c.src, c.ss, c.dst, c.ds, c.w, c.h, c.bits, c.type), c.error) << c.what;
    EXPECT_EQ(GetLastError(), 4242u) << c.what;
    EXPECT_EQ(memory, before) << c.what;
  }
  // No pixels: nothing to do, whatever the pointers and strides.
  for (auto [w, h] : {std::pair{0, 5}, {7, 0}, {0, 0}}) {
    EXPECT_EQ(RotateFlipPixels(nullptr, 0, nullptr, 0, w, h, 8, 1), 0u) << w << "x" << h;
  }
  // Just apart: the last byte of one before the first of the other.
  EXPECT_EQ(RotateFlipPixels(a, 8, a + 64, 8, 8, 8, 8, 5), 0u);
}

}  // namespace
}  // namespace quadturn::test
