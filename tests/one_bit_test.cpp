// One-bit images: known shapes, the caller's table and resolutions kept,
// random widths against the oracle, and headers the entries must not take.
#include <gtest/gtest.h>

#include <cstring>

#include "test_images.h"

namespace quadturn::test {
namespace {

Bytes TurnBytes(const Bytes& dib, Turn turn, UINT* locks = nullptr) {
  HGLOBAL h = ToBlock(dib);
  Apply(turn, h);
  if (locks != nullptr) *locks = LockCount(h);
  Bytes out = FromBlock(h);
  GlobalFree(h);
  return out;
}

// A 1-bit image whose rows are given as strings of '0' and '1', first stored
// row first.
Bytes OneBitImage(const std::vector<std::string>& rows, const uint8_t table[8]) {
  Rng rng(9);
  const int32_t w = static_cast<int32_t>(rows[0].size());
  const int32_t h = static_cast<int32_t>(rows.size());
  Bytes dib = MakeDib({.bits = 1, .width = w, .height = h}, rng, Rules::kRotate90);
  std::memcpy(dib.data() + 40, table, 8);
  const int32_t stride = StrideOf(1, w);
  for (int32_t r = 0; r < h; ++r) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t& byte = dib[48 + r * stride + x / 8];
      const uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
      byte = static_cast<uint8_t>(rows[r][x] == '1' ? byte | mask : byte & ~mask);
    }
  }
  return dib;
}

const uint8_t kWhiteBlack[8] = {255, 255, 255, 0, 0, 0, 0, 0};
const uint8_t kRedBlue[8] = {0, 0, 200, 0, 180, 0, 0, 0};

TEST(OneBit, NineByThreeKeepsTableAndResolutions) {
  Bytes dib = OneBitImage({"100000001", "010000000", "001000011"}, kWhiteBlack);
  PutU32(dib, 24, 11811);  // 300 dpi
  PutU32(dib, 28, 11811);
  PutU32(dib, 32, 2);
  PutU32(dib, 36, 2);
  PutU32(dib, 20, 999);
  UINT locks = 99;
  const Bytes out = TurnBytes(dib, Turn::kRight, &locks);
  EXPECT_EQ(locks, 0u);
  ASSERT_EQ(out.size(), 84u);
  EXPECT_EQ(I32At(out, 4), 3);
  EXPECT_EQ(I32At(out, 8), 9);
  EXPECT_EQ(out[14], 1);
  EXPECT_EQ(U32At(out, 20), 36u);
  EXPECT_EQ(I32At(out, 24), 11811);
  EXPECT_EQ(I32At(out, 28), 11811);
  EXPECT_EQ(U32At(out, 32), 0u);
  EXPECT_EQ(U32At(out, 36), 0u);
  EXPECT_EQ(Bytes(out.begin() + 40, out.begin() + 48),
            Bytes(kWhiteBlack, kWhiteBlack + 8));
  // Clockwise: source row i, pixel j lands in row 8-j at position i.
  EXPECT_EQ(Bytes(out.begin() + 48, out.begin() + 52), (Bytes{0xA0, 0, 0, 0}));  // j = 8
  EXPECT_EQ(Bytes(out.begin() + 52, out.begin() + 56), (Bytes{0x20, 0, 0, 0}));  // j = 7
  EXPECT_EQ(Bytes(out.begin() + 80, out.begin() + 84), (Bytes{0x80, 0, 0, 0}));  // j = 0
  EXPECT_EQ(out, Oracle(dib, QuartersOf(Turn::kRight), Rules::kRotate90));
}

TEST(OneBit, ThirtyThreeByTwoLeavesPaddingBitsClear) {
  const std::string ones(33, '1');
  const Bytes dib = OneBitImage({ones, ones}, kRedBlue);
  for (Turn turn : {Turn::kRight, Turn::kLeft}) {
    const Bytes out = TurnBytes(dib, turn);
    ASSERT_EQ(out.size(), 48u + 132);
    EXPECT_EQ(U32At(out, 20), 132u);
    for (int r = 0; r < 33; ++r) {
      EXPECT_EQ(Bytes(out.begin() + 48 + 4 * r, out.begin() + 52 + 4 * r),
                (Bytes{0xC0, 0, 0, 0})) << r;
    }
  }
}

TEST(OneBit, TurningBackRestoresBits) {
  const Bytes dib = OneBitImage({"1100101", "0011100", "1000001"}, kWhiteBlack);
  HGLOBAL h = ToBlock(dib);
  GlobalLock(h);
  EXPECT_NE(RotateRight90(h), FALSE);
  EXPECT_NE(RotateLeft90(h), FALSE);
  EXPECT_EQ(LockCount(h), 1u);
  GlobalUnlock(h);
  Bytes expected = dib;
  PutU32(expected, 20, 12);
  PutU32(expected, 32, 0);
  PutU32(expected, 36, 0);
  for (int r = 0; r < 3; ++r) {  // padding bits and bytes come back clear
    expected[48 + 4 * r] &= 0xFE;
    for (int k = 1; k < 4; ++k) expected[48 + 4 * r + k] = 0;
  }
  EXPECT_EQ(FromBlock(h), expected);
  GlobalFree(h);
}

TEST(OneBit, RandomWidthsMatchOracle) {
  uint64_t n = 0;
  for (int32_t width = 1; width <= 70; ++width) {
    for (int32_t height : {1, 2, 7, 8, 9, 31, 32, 33, 40}) {
      for (Turn turn : {Turn::kRight, Turn::kLeft}) {
        const uint64_t case_number = 5000 + n++;
        Rng rng(case_number);
        Shape shape{.bits = 1, .width = width, .height = height,
                     .clr_used = static_cast<uint32_t>(rng.Below(3) * 2),
                     .slack = static_cast<uint32_t>(rng.Below(2) * 7)};
        const Bytes dib = MakeDib(shape, rng, Rules::kRotate90);
        ASSERT_EQ(TurnBytes(dib, turn), Oracle(dib, QuartersOf(turn), Rules::kRotate90))
            << "case " << case_number << ": " << Describe(shape);
      }
    }
  }
}

TEST(OneBit, LeavesHeadersItCannotTakeUntouched) {
  struct Case { const char* what; Shape shape; int cut; };
  const Case cases[] = {
      {"108-byte header", {.bits = 1, .width = 9, .height = 3, .header_bytes = 108}, 0},
      {"one-entry table", {.bits = 1, .width = 9, .height = 3, .clr_used = 1}, 0},
      {"block one byte short", {.bits = 1, .width = 9, .height = 3}, 1},
  };
  for (const Case& c : cases) {
    Rng rng(11);
    Bytes dib = MakeDib(c.shape, rng, Rules::kRotate90);
    dib.resize(dib.size() - c.cut);
    EXPECT_EQ(TurnBytes(dib, Turn::kLeft), dib) << c.what;
  }
}

}  // namespace
}  // namespace quadturn::test
