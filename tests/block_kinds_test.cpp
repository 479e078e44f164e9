// The blocks hosts hand over: movable, movable and locked by the caller (up
// to the saturated count), fixed and GPTR; images whose block grows, shrinks
// or keeps its size. Runs against the stand-in and, under Wine, against the
// real service.
#include <gtest/gtest.h>

#include <cstring>

#include "test_images.h"

namespace quadturn::test {
namespace {

struct KindCase {
  const char* what;
  UINT flags;
  int caller_locks;
};

const KindCase kKinds[] = {
    {"movable", GMEM_MOVEABLE, 0},
    {"movable, locked by the caller", GMEM_MOVEABLE, 1},
    {"movable, 254 locks", GMEM_MOVEABLE, 254},
    {"movable, 255 locks (saturated)", GMEM_MOVEABLE, 300},
    {"fixed", GMEM_FIXED, 0},
    {"GPTR", GPTR, 0},
};

struct ShapeCase {
  const char* what;
  Shape shape;
  bool grows;
};

const ShapeCase kShapes[] = {
    {"8-bit grows", {.bits = 8, .width = 9, .height = 2}, true},
    {"8-bit shrinks", {.bits = 8, .width = 2, .height = 9, .slack = 3}, false},
    {"8-bit same size", {.bits = 8, .width = 4, .height = 8}, false},
    {"24-bit grows", {.bits = 24, .width = 7, .height = 2}, true},
    {"24-bit shrinks", {.bits = 24, .width = 2, .height = 7}, false},
    {"24-bit square", {.bits = 24, .width = 6, .height = 6}, false},
    {"1-bit grows", {.bits = 1, .width = 40, .height = 2}, true},
    {"1-bit shrinks", {.bits = 1, .width = 2, .height = 40}, false},
    {"1-bit square", {.bits = 1, .width = 33, .height = 33}, false},
};

// Movable blocks always turn. A fixed block cannot move, so it turns when
// the turned image fits where it is: always when the block does not grow,
// and when it grows only if there is room behind it. Either way the result is
// exact, the lock count kept and the handle still the caller's.
TEST(BlockKinds, TurnedWhereTheImageFitsAndExactlyUntouchedOtherwise) {
  uint64_t n = 0;
  for (const KindCase& kind : kKinds) {
    for (const ShapeCase& shape : kShapes) {
      for (Turn turn : {Turn::kRight, Turn::kLeft}) {
        const uint64_t case_number = 60000 + n++;
        Rng rng(case_number);
        const Bytes dib = MakeDib(shape.shape, rng, Rules::kRotate90);
        const Bytes turned = Oracle(dib, QuartersOf(turn), Rules::kRotate90);
        HGLOBAL h = ToBlock(dib, kind.flags);
        ASSERT_NE(h, nullptr);
        for (int i = 0; i < kind.caller_locks; ++i) GlobalLock(h);
        const UINT locks = LockCount(h);
        Apply(turn, h);
        EXPECT_EQ(LockCount(h), locks);
        for (int i = 0; i < kind.caller_locks; ++i) GlobalUnlock(h);
        EXPECT_EQ(LockCount(h), 0u);
        const Bytes after = FromBlock(h);
        const std::string what = std::string(kind.what) + ", " + shape.what + ", case " +
                                 std::to_string(case_number);
        const bool fixed = (kind.flags & GMEM_MOVEABLE) == 0;
        if (fixed && shape.grows) {
          EXPECT_TRUE(after == dib || after == turned) << what;
        } else {
          EXPECT_EQ(after, turned) << what;
        }
        EXPECT_EQ(GlobalFree(h), nullptr) << what;
      }
    }
  }
}

// A fixed block that was cut down from a larger one regrows in place, so an
// image that needs more room is turned in it. (Large, so that on Windows the
// block is its own mapping rather than a piece of a heap.)
TEST(BlockKinds, FixedBlockWithRoomBehindItGrowsInPlace) {
  Rng rng(61000);
  const Bytes dib = MakeDib({.bits = 24, .width = 1000, .height = 1001}, rng, Rules::kRotate90);
  const SIZE_T room = 4 << 20;
  HGLOBAL h = GlobalAlloc(GMEM_FIXED, room);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(GlobalReAlloc(h, dib.size(), 0), h);
  std::memcpy(h, dib.data(), dib.size());
  RotateRight90(h);
  EXPECT_EQ(FromBlock(h), Oracle(dib, QuartersOf(Turn::kRight), Rules::kRotate90));
  EXPECT_EQ(GlobalFree(h), nullptr);
}

}  // namespace
}  // namespace quadturn::test
