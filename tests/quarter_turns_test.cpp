// RotateQuarterTurns and RotateFlip (one road): every depth, turn count or
// type, row order and header kind against the per-pixel oracle; each error
// code from a case that provokes it with the block untouched; the
// orientations that keep the shape without a re-size; the last error kept
// on success. Runs against the stand-in and, under Wine, the DLL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "test_images.h"

namespace quadturn::test {
namespace {

struct Result {
  Bytes bytes;
  BOOL ok;
  DWORD error;
  SIZE_T size;
};

// One call: RotateQuarterTurns(h, n), or RotateFlip(h, n) where `flip`.
struct Call {
  bool flip;
  int n;
  std::string Name() const {
    return (flip ? "RotateFlip type " : "RotateQuarterTurns ") + std::to_string(n);
  }
  Bytes Want(const Bytes& dib) const {
    return flip ? OracleOriented(dib, n, Rules::kQuarterTurns) : Oracle(dib, n, Rules::kQuarterTurns);
  }
};

const Call kCalls[] = {{false, 0}, {false, 1}, {false, 2}, {false, 3}, {false, -1},
                       {false, -2}, {false, -3}, {false, 4}, {false, 5}, {false, -7},
                       {true, 0},  {true, 1},  {true, 2},  {true, 3},  {true, 4},
                       {true, 5},  {true, 6},  {true, 7}};

Result TurnQuarters(const Bytes& dib, Call call, UINT flags = GMEM_MOVEABLE) {
  HGLOBAL h = ToBlock(dib, flags);
  SetLastError(4242);
  Result r;
  r.ok = call.flip ? RotateFlip(h, call.n) : RotateQuarterTurns(h, call.n);
  r.error = GetLastError();
  r.size = GlobalSize(h);
  r.bytes = FromBlock(h);
  EXPECT_EQ(LockCount(h), 0u);
  EXPECT_EQ(GlobalFree(h), nullptr) << "the caller's handle must stay valid";
  return r;
}

Result TurnQuarters(const Bytes& dib, int turns, UINT flags = GMEM_MOVEABLE) {
  return TurnQuarters(dib, Call{false, turns}, flags);
}

std::string Describe(const Shape& s, Call call, uint64_t case_number) {
  return "case " + std::to_string(case_number) + ": " + Describe(s) + ", " + call.Name();
}

const int kDepths[] = {1, 4, 8, 16, 24, 32};

TEST(QuarterTurns, EveryDepthTurnCountTypeAndRowOrderMatchesOracle) {
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {3, 5},  {7, 2},   {17, 9},
                                               {9, 17}, {33, 33}, {130, 67}, {0, 4}};
  uint64_t n = 0;
  for (int bits : kDepths) {
    for (auto [w, h] : sizes) {
      for (bool top_down : {false, true}) {
        for (Call call : kCalls) {
          const uint64_t case_number = 100000 + n++;
          Rng rng(case_number);
          Shape shape{.bits = bits, .width = w, .height = h, .top_down = top_down,
                             .slack = static_cast<uint32_t>(rng.Below(3) == 0 ? 9 : 0)};
          const Bytes dib = MakeDib(shape, rng);
          const Result r = TurnQuarters(dib, call);
          ASSERT_TRUE(r.ok) << Describe(shape, call, case_number) << ", error " << r.error;
          EXPECT_EQ(r.error, 4242u) << "success leaves the last error as it was";
          ASSERT_EQ(r.bytes, call.Want(dib)) << Describe(shape, call, case_number);
        }
      }
    }
  }
}

// The picture   a b   as each type shows it, whichever way its rows are
//               c d   stored: a quarter turn clockwise is   c a   and so on.
//                                                           d b
TEST(QuarterTurns, EveryTypeAsDisplayedForBothRowOrders) {
  const char* const kShown[8] = {"abcd", "cadb", "dcba", "bdac", "badc", "acbd", "cdab", "dbca"};
  for (int type = 0; type < 8; ++type) {
    for (bool top_down : {false, true}) {
      Rng rng(300300);
      Bytes dib = MakeDib({.bits = 8, .width = 2, .height = 2, .top_down = top_down}, rng);
      const int32_t p = RowsOffsetOf(dib, Rules::kQuarterTurns);
      // Stored rows: top first when top-down, bottom first otherwise.
      auto store = [&](Bytes& b, const char* shown) {
        const char* top = shown;
        const char* bottom = shown + 2;
        const char* first = top_down ? top : bottom;
        const char* second = top_down ? bottom : top;
        const uint8_t rows[8] = {uint8_t(first[0]), uint8_t(first[1]), 0, 0,
                                 uint8_t(second[0]), uint8_t(second[1]), 0, 0};
        std::copy(rows, rows + 8, b.begin() + p);
      };
      store(dib, kShown[0]);
      Bytes want = dib;
      store(want, kShown[type]);
      const Result r = TurnQuarters(dib, Call{true, type});
      ASSERT_TRUE(r.ok);
      EXPECT_EQ(Bytes(r.bytes.begin() + p, r.bytes.end()), Bytes(want.begin() + p, want.end()))
          << "type " << type << (top_down ? ", top-down" : ", bottom-up");
      EXPECT_EQ(I32At(r.bytes, 8), top_down ? -2 : 2);
    }
  }
}

// Headers and tables of every kind the general reader takes.
TEST(QuarterTurns, HeadersMasksTablesAndProfiles) {
  const Shape shapes[] = {
      {.bits = 16, .width = 5, .height = 3, .bitfields = true},
      {.bits = 32, .width = 5, .height = 3, .bitfields = true},
      {.bits = 32, .width = 5, .height = 3, .bitfields = true, .alpha_mask = true},
      {.bits = 16, .width = 3, .height = 5, .header_bytes = 124, .bitfields = true,
       .alpha_mask = true},
      {.bits = 32, .width = 4, .height = 6, .header_bytes = 108, .bitfields = true},
      {.bits = 16, .width = 7, .height = 2, .header_bytes = 56, .bitfields = true},
      {.bits = 8, .width = 5, .height = 3, .clr_used = 16},
      {.bits = 4, .width = 5, .height = 3, .clr_used = 3},
      {.bits = 1, .width = 9, .height = 3, .header_bytes = 124, .clr_used = 1},
      {.bits = 24, .width = 5, .height = 3, .clr_used = 2},
      {.bits = 24, .width = 6, .height = 4, .header_bytes = 124, .profile_bytes = 37},
      {.bits = 8, .width = 6, .height = 4, .top_down = true, .header_bytes = 124,
       .profile_bytes = 20, .profile_gap = 5},
      {.bits = 32, .width = 9, .height = 2, .header_bytes = 124, .profile_bytes = 300,
       .profile_gap = 3, .slack = 11},
      {.bits = 4, .width = 2, .height = 9, .header_bytes = 124, .profile_bytes = 3},
  };
  uint64_t n = 0;
  for (const Shape& shape : shapes) {
    for (Call call : {Call{false, 1}, Call{false, 2}, Call{false, 3}, Call{true, 4},
                      Call{true, 5}, Call{true, 6}, Call{true, 7}}) {
      for (UINT flags : {GMEM_MOVEABLE, GMEM_FIXED}) {
        const uint64_t case_number = 200000 + n++;
        Rng rng(case_number);
        const Bytes dib = MakeDib(shape, rng);
        const Result r = TurnQuarters(dib, call, flags);
        const Bytes want = call.Want(dib);
        // A fixed block that would have to grow cannot: it stays untouched.
        if (flags == GMEM_FIXED && want.size() > dib.size() && !r.ok) {
          EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
          EXPECT_EQ(r.bytes, dib);
          continue;
        }
        ASSERT_TRUE(r.ok) << Describe(shape, call, case_number) << ", error " << r.error;
        ASSERT_EQ(r.bytes, want) << Describe(shape, call, case_number);
      }
    }
  }
}

TEST(QuarterTurns, ShapeKeepingTypesStayInTheBlockAsItIs) {
  Rng rng(300000);
  const Bytes dib = MakeDib({.bits = 24, .width = 7, .height = 5, .slack = 13}, rng);
  for (Call call : {Call{false, 2}, Call{true, 4}, Call{true, 6}}) {
    const Result r = TurnQuarters(dib, call);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.size, dib.size()) << call.Name() << ": no re-size, slack kept";
    EXPECT_EQ(r.bytes, call.Want(dib)) << call.Name();
    EXPECT_EQ(Bytes(r.bytes.end() - 13, r.bytes.end()), Bytes(dib.end() - 13, dib.end()));
  }
}

TEST(QuarterTurns, CallerLocksAreKept) {
  Rng rng(300001);
  const Bytes dib = MakeDib({.bits = 32, .width = 7, .height = 5}, rng);
  for (int locks : {1, 254, 300}) {
    HGLOBAL h = ToBlock(dib);
    for (int i = 0; i < locks; ++i) GlobalLock(h);
    const UINT before = LockCount(h);
    EXPECT_TRUE(RotateQuarterTurns(h, -1));
    EXPECT_EQ(LockCount(h), before) << locks;
    for (int i = 0; i < locks; ++i) GlobalUnlock(h);
    EXPECT_EQ(FromBlock(h), Oracle(dib, -1, Rules::kQuarterTurns));
    GlobalFree(h);
  }
}

// Each error from an image that provokes it; the block stays as it was.
TEST(QuarterTurns, EachErrorFromACaseThatProvokesIt) {
  struct Case {
    const char* what;
    int offset;  // header field to change, -1 for none
    uint32_t value;
    int cut;     // bytes cut off the block's end (-1: all but 39, -2: all but 22)
    DWORD error;
  };
  const Case cases[] = {
      {"block shorter than a header", -1, 0, -1, ERROR_INVALID_DATA},
      {"biSize 39", 0, 39, 0, ERROR_INVALID_DATA},
      {"biSize past the block", 0, 5000, 0, ERROR_INVALID_DATA},
      {"negative width", 4, 0xFFFFFFFCu, 0, ERROR_INVALID_DATA},
      {"height INT32_MIN", 8, 0x80000000u, 0, ERROR_INVALID_DATA},
      {"rows past the block", 8, 40, 0, ERROR_INVALID_DATA},
      {"block one byte short", -1, 0, 1, ERROR_INVALID_DATA},
      {"rows past 2^31", 4, 0x7FFFFFF0u, 0, ERROR_INVALID_DATA},
      {"table past 2^31", 32, 0x40000000u, 0, ERROR_INVALID_DATA},
      {"RLE8", 16, 1, 0, ERROR_NOT_SUPPORTED},
      {"RLE4", 16, 2, 0, ERROR_NOT_SUPPORTED},
      {"JPEG", 16, 4, 0, ERROR_NOT_SUPPORTED},
      {"PNG", 16, 5, 0, ERROR_NOT_SUPPORTED},
      {"bit fields at 24 bits", 16, 3, 0, ERROR_NOT_SUPPORTED},
      {"two planes", 12, 0x00180002u, 0, ERROR_NOT_SUPPORTED},
      {"2 bits per pixel", 12, 0x00020001u, 0, ERROR_NOT_SUPPORTED},
      {"0 bits per pixel", 12, 0x00000001u, 0, ERROR_NOT_SUPPORTED},
      {"core header", 0, 12, 0, ERROR_NOT_SUPPORTED},
      {"short OS/2 header", 0, 16, 0, ERROR_NOT_SUPPORTED},
      // A 1 x 1 one-bit OS/2 bitmap is 22 bytes: shorter than a 40-byte
      // header, and still a format that is not turned.
      {"core header in a block of 22 bytes", 0, 12, -2, ERROR_NOT_SUPPORTED},
  };
  for (const Case& c : cases) {
    Rng rng(300100);
    Bytes dib = MakeDib({.bits = 24, .width = 5, .height = 3}, rng);
    if (c.offset >= 0) PutU32(dib, c.offset, c.value);
    dib.resize(c.cut == -1 ? 39 : c.cut == -2 ? 22 : dib.size() - c.cut);
    for (Call call : {Call{false, 0}, Call{false, 1}, Call{false, 2}, Call{true, 5},
                      Call{true, 6}}) {
      const Result r = TurnQuarters(dib, call);
      EXPECT_FALSE(r.ok) << c.what;
      EXPECT_EQ(r.error, c.error) << c.what << ", " << call.Name();
      EXPECT_EQ(r.bytes, dib) << c.what;
    }
  }
  // A profile that does not lie behind the rows inside the block.
  Rng rng(300101);
  Bytes v5 = MakeDib({.bits = 8, .width = 4, .height = 4, .header_bytes = 124,
                             .profile_bytes = 16}, rng);
  PutU32(v5, 112, static_cast<uint32_t>(v5.size()) - 8);
  EXPECT_EQ(TurnQuarters(v5, 1).error, static_cast<DWORD>(ERROR_INVALID_DATA));
  PutU32(v5, 112, 40);
  EXPECT_EQ(TurnQuarters(v5, 1).error, static_cast<DWORD>(ERROR_INVALID_DATA));
  // A type RotateFlip does not have, whatever the block holds.
  const Bytes good = MakeDib({.bits = 8, .width = 4, .height = 3}, rng);
  for (int type : {-1, 8, 100, INT32_MIN, INT32_MAX}) {
    const Result r = TurnQuarters(good, Call{true, type});
    EXPECT_FALSE(r.ok) << type;
    EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << type;
    EXPECT_EQ(r.bytes, good) << type;
  }
}

// Images of no pixels in half a billion rows turn at once (the row loops once
// ran over every empty row). Taller, a quarter turn's rows of 32-bit pixels
// would pass 2^31 bytes.
TEST(QuarterTurns, NoPixelsInTheTallestImage) {
  for (int bits : {1, 8, 32}) {
    Rng rng(300400 + bits);
    Bytes dib = MakeDib({.bits = bits, .width = 0, .height = 1}, rng);
    PutU32(dib, 8, 0x1FFFFFFF);
    for (Call call : {Call{false, 1}, Call{false, 2}, Call{false, 3}, Call{true, 4},
                      Call{true, 5}, Call{true, 6}, Call{true, 7}}) {
      const Result r = TurnQuarters(dib, call);
      ASSERT_TRUE(r.ok) << bits << "-bit, " << call.Name();
      EXPECT_EQ(r.bytes, call.Want(dib)) << bits << "-bit, " << call.Name();
    }
  }
}

TEST(QuarterTurns, HandlesThatAreNoBlock) {
  SetLastError(0);
  EXPECT_FALSE(RotateQuarterTurns(nullptr, 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
  SetLastError(0);
  EXPECT_FALSE(RotateQuarterTurns(empty, 3));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(RotateFlip(empty, 5));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GlobalSize(empty), 0u);
  GlobalFree(empty);
}

// RotateRight90 and RotateLeft90 leave these untouched; RotateQuarterTurns turns
// them, and its turn back restores every pixel.
TEST(QuarterTurns, TurnsWhatTheSingleQuarterEntriesLeave) {
  for (int bits : {4, 16, 32}) {
    Rng rng(300200 + bits);
    const Bytes dib = MakeDib({.bits = bits, .width = 6, .height = 3}, rng);
    HGLOBAL h = ToBlock(dib);
    RotateRight90(h);
    EXPECT_EQ(FromBlock(h), dib) << bits;
    EXPECT_TRUE(RotateQuarterTurns(h, 1));
    EXPECT_TRUE(RotateQuarterTurns(h, -1));
    const Bytes once = Oracle(dib, 1, Rules::kQuarterTurns);
    EXPECT_EQ(FromBlock(h), Oracle(once, -1, Rules::kQuarterTurns)) << bits;
    GlobalFree(h);
  }
}

}  // namespace
}  // namespace quadturn::test
