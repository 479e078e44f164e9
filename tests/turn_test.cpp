// The two operations on 8- and 24-bit images: known small images, edge
// cases and bad input, and random images of many shapes against the oracle.
#include <gtest/gtest.h>

#include "test_images.h"

namespace quadturn::test {
namespace {

struct Turned {
  Bytes bytes;
  BOOL result;
  UINT locks;
};

// Puts `dib` in a block, turns it and reads it back; checks the handle stays
// the one the caller holds.
Turned TurnBytes(const Bytes& dib, Turn turn) {
  HGLOBAL h = ToBlock(dib);
  EXPECT_NE(h, nullptr);
  Turned t;
  t.result = Apply(turn, h);
  t.locks = LockCount(h);
  t.bytes = FromBlock(h);
  EXPECT_EQ(GlobalFree(h), nullptr) << "the caller's handle must stay valid";
  return t;
}

Bytes Rows(const Bytes& dib) {
  return Bytes(dib.begin() + RowsOffsetOf(dib, Rules::kRotate90), dib.end());
}

TEST(Turn8, ThreeByTwoKnownRows) {
  Rng rng(1);
  Bytes dib = MakeDib({.bits = 8, .width = 3, .height = 2}, rng, Rules::kRotate90);
  const int p = RowsOffsetOf(dib, Rules::kRotate90);
  const uint8_t rows[] = {'a', 'b', 'c', 0, 'd', 'e', 'f', 0};
  std::copy(rows, rows + 8, dib.begin() + p);

  const Bytes right = Rows(TurnBytes(dib, Turn::kRight).bytes);
  EXPECT_EQ(right, (Bytes{'c', 'f', 0xFF, 0xFF, 'b', 'e', 0xFF, 0xFF,
                          'a', 'd', 0xFF, 0xFF}));
  const Bytes left = Rows(TurnBytes(dib, Turn::kLeft).bytes);
  EXPECT_EQ(left, (Bytes{'d', 'a', 0xFF, 0xFF, 'e', 'b', 0xFF, 0xFF,
                         'f', 'c', 0xFF, 0xFF}));
}

TEST(Turn24, KeepsPixelBytesTogetherAndPadsWithZero) {
  Rng rng(2);
  Bytes dib = MakeDib({.bits = 24, .width = 2, .height = 1}, rng, Rules::kRotate90);
  const int p = RowsOffsetOf(dib, Rules::kRotate90);
  const uint8_t row[] = {1, 2, 3, 4, 5, 6, 0xEE, 0xEE};
  std::copy(row, row + 8, dib.begin() + p);

  // One row of two pixels turns into two rows of one pixel.
  const Turned right = TurnBytes(dib, Turn::kRight);
  EXPECT_EQ(Rows(right.bytes), (Bytes{4, 5, 6, 0, 1, 2, 3, 0}));
  EXPECT_EQ(I32At(right.bytes, 4), 1);
  EXPECT_EQ(I32At(right.bytes, 8), 2);
  EXPECT_EQ(Rows(TurnBytes(dib, Turn::kLeft).bytes),
            (Bytes{1, 2, 3, 0, 4, 5, 6, 0}));
}

TEST(Turn, HeaderAfterTurn) {
  Rng rng(3);
  Shape shape{.bits = 24, .width = 5, .height = 2, .x_ppm = 1000,
               .y_ppm = 2000, .clr_important = 7, .size_image = 12345};
  shape.clr_used = 3;
  const Bytes dib = MakeDib(shape, rng, Rules::kRotate90);
  const Bytes out = TurnBytes(dib, Turn::kRight).bytes;
  EXPECT_EQ(U32At(out, 0), 40u);
  EXPECT_EQ(I32At(out, 4), 2);
  EXPECT_EQ(I32At(out, 8), 5);
  EXPECT_EQ(U32At(out, 20), 5u * 8) << "biSizeImage restates the turned rows";
  EXPECT_EQ(I32At(out, 24), 1000) << "resolutions are not exchanged";
  EXPECT_EQ(I32At(out, 28), 2000);
  EXPECT_EQ(U32At(out, 32), 3u);
  EXPECT_EQ(U32At(out, 36), 7u);
  EXPECT_EQ(Bytes(out.begin() + 12, out.begin() + 20),
            Bytes(dib.begin() + 12, dib.begin() + 20));
  EXPECT_EQ(out.size(), 40u + 12 + 5 * 8);
}

// Each case against the oracle in both directions: exact bytes, exact block
// size, the block unlocked again and 0 returned.
TEST(Turn, EdgeShapesMatchOracle) {
  const Shape cases[] = {
      {.bits = 8, .width = 1, .height = 1},
      {.bits = 8, .width = 0, .height = 5},
      {.bits = 8, .width = 5, .height = 0},
      {.bits = 24, .width = 0, .height = 0},
      {.bits = 24, .width = 7, .height = 0, .clr_used = 2},
      {.bits = 8, .width = 6, .height = 3, .clr_used = 16},
      {.bits = 8, .width = 6, .height = 3, .slack = 100},
      {.bits = 24, .width = 1, .height = 9, .slack = 3},
      {.bits = 8, .width = 4, .height = 4, .header_bytes = 108, .clr_used = 256},
      {.bits = 24, .width = 3, .height = 5, .header_bytes = 124},
      {.bits = 8, .width = 1, .height = 64},
      {.bits = 24, .width = 64, .height = 1},
  };
  for (const Shape& shape : cases) {
    for (Turn turn : {Turn::kRight, Turn::kLeft}) {
      Rng rng(4);
      const Bytes dib = MakeDib(shape, rng, Rules::kRotate90);
      const Turned t = TurnBytes(dib, turn);
      EXPECT_EQ(t.bytes, Oracle(dib, QuartersOf(turn), Rules::kRotate90)) << Describe(shape);
      EXPECT_EQ(t.result, FALSE) << Describe(shape);
      EXPECT_EQ(t.locks, 0u) << Describe(shape);
    }
  }
}

TEST(Turn, RandomImagesMatchOracle) {
  // Widths and heights cover every padding remainder at both depths.
  const uint32_t header_sizes[] = {40, 108, 124};
  const uint32_t clr_used[] = {0, 16, 256};
  for (uint64_t n = 0; n < 400; ++n) {
    Rng rng(1000 + n);
    Shape shape;
    shape.bits = rng.Below(2) ? 8 : 24;
    shape.width = 1 + rng.Below(n < 200 ? 13 : 90);
    shape.height = 1 + rng.Below(n < 200 ? 13 : 90);
    shape.header_bytes = header_sizes[rng.Below(3)];
    shape.clr_used = clr_used[rng.Below(3)];
    shape.slack = rng.Below(3) == 0 ? rng.Below(40) : 0;
    const Turn turn = rng.Below(2) ? Turn::kRight : Turn::kLeft;
    const Bytes dib = MakeDib(shape, rng, Rules::kRotate90);
    ASSERT_EQ(TurnBytes(dib, turn).bytes, Oracle(dib, QuartersOf(turn), Rules::kRotate90))
        << "case " << 1000 + n << ": " << Describe(shape);
  }
}

TEST(Turn, TurningBackRestoresPixels) {
  for (int bits : {8, 24}) {
    Rng rng(5);
    const Bytes dib = MakeDib({.bits = bits, .width = 7, .height = 3}, rng, Rules::kRotate90);
    HGLOBAL h = ToBlock(dib);
    RotateRight90(h);
    RotateLeft90(h);
    const Bytes back = FromBlock(h);
    RotateRight90(h);
    RotateRight90(h);
    RotateRight90(h);
    RotateRight90(h);
    EXPECT_EQ(FromBlock(h), back) << bits;
    GlobalFree(h);
    // Pixels come back; padding is now the turn's own and biSizeImage exact.
    const Bytes expected = Oracle(Oracle(dib, 1, Rules::kRotate90), -1, Rules::kRotate90);
    EXPECT_EQ(back, expected) << bits;
    EXPECT_EQ(I32At(back, 4), 7);
    EXPECT_EQ(I32At(back, 8), 3);
  }
}

TEST(Turn, CallerHoldingALockKeepsIt) {
  Rng rng(6);
  const Bytes dib =
      MakeDib({.bits = 24, .width = 5, .height = 3, .slack = 9}, rng, Rules::kRotate90);
  HGLOBAL h = ToBlock(dib);
  ASSERT_NE(GlobalLock(h), nullptr);
  EXPECT_NE(RotateLeft90(h), FALSE) << "the caller's own lock is still held";
  EXPECT_EQ(LockCount(h), 1u);
  EXPECT_EQ(GlobalUnlock(h), FALSE);
  EXPECT_EQ(FromBlock(h), Oracle(dib, QuartersOf(Turn::kLeft), Rules::kRotate90));
  GlobalFree(h);
}

// Images the library must not touch: the bit counts it does not turn, and
// headers that do not describe an image the block holds.
TEST(Turn, LeavesOtherImagesUntouched) {
  struct Case { const char* what; Shape shape; int offset; uint32_t value; int cut; };
  const Case cases[] = {
      {"4 bits", {.bits = 8, .width = 4, .height = 4}, 14, 4, 0},
      {"16 bits", {.bits = 24, .width = 4, .height = 4}, 14, 16, 0},
      {"32 bits", {.bits = 24, .width = 4, .height = 4}, 14, 32, 0},
      {"biSize 39", {.bits = 8, .width = 4, .height = 4}, 0, 39, 0},
      {"biSize huge", {.bits = 8, .width = 4, .height = 4}, 0, 0x7FFFFFF0u, 0},
      {"negative width", {.bits = 8, .width = 4, .height = 4}, 4, 0xFFFFFFFCu, 0},
      {"top-down", {.bits = 24, .width = 4, .height = 4}, 8, 0xFFFFFFFCu, 0},
      {"compressed", {.bits = 8, .width = 4, .height = 4}, 16, 1, 0},
      {"rows past the block", {.bits = 24, .width = 5, .height = 3}, 8, 4, 0},
      {"block one byte short", {.bits = 8, .width = 5, .height = 3}, 0, 40, 1},
      {"table past the block", {.bits = 24, .width = 2, .height = 2}, 32, 1000, 0},
      {"width overflows", {.bits = 24, .width = 2, .height = 2}, 4, 0x7FFFFFFFu, 0},
      {"header cut short", {.bits = 8, .width = 0, .height = 0}, 0, 40, 1040},
  };
  for (const Case& c : cases) {
    Rng rng(7);
    Bytes dib = MakeDib(c.shape, rng, Rules::kRotate90);
    if (c.offset == 14) {  // biBitCount is the one 16-bit field
      dib[14] = static_cast<uint8_t>(c.value);
      dib[15] = static_cast<uint8_t>(c.value >> 8);
    } else {
      PutU32(dib, c.offset, c.value);
    }
    dib.resize(dib.size() - c.cut);
    for (Turn turn : {Turn::kRight, Turn::kLeft}) {
      const Turned t = TurnBytes(dib, turn);
      EXPECT_EQ(t.bytes, dib) << c.what;
      EXPECT_EQ(t.locks, 0u) << c.what;
    }
  }
}

TEST(Turn, InvalidHandlesAreIgnored) {
  EXPECT_EQ(RotateRight90(nullptr), FALSE);
  HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
  EXPECT_EQ(RotateLeft90(empty), FALSE);
  EXPECT_EQ(GlobalSize(empty), 0u);
  GlobalFree(empty);
}

}  // namespace
}  // namespace quadturn::test
