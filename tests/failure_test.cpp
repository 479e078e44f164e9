// Every call to the block service that can fail, made to fail in turn: the
// caller's image, block size and lock count stay as they were and no working
// block is left behind.
#include <gtest/gtest.h>

#include "block_seam.h"
#include "test_images.h"

namespace qt_test {
namespace {

namespace seam = quadturn::seam;

struct SweepCase {
  const char* what;
  DibShape shape;
  bool caller_locked;
};

// Runs the turn with the k-th service call failing, for k = 1, 2, ... until a
// run gets through without reaching the failure; returns how many failure
// points were tried.
int SweepFailures(const SweepCase& c, Turn turn) {
  Rng rng(8);
  const Bytes dib = MakeDib(c.shape, rng);
  const Bytes turned = OracleTurn(dib, turn);
  int k = 1;
  for (;; ++k) {
    HGLOBAL h = ToBlock(dib);
    if (c.caller_locked) GlobalLock(h);
    const std::size_t live = seam::LiveBlocks();
    seam::FailNthOfAny(k);
    Apply(turn, h);
    const bool reached = seam::CallsSinceArmed() >= k;
    seam::Disarm();

    EXPECT_EQ(seam::LiveBlocks(), live) << c.what << ", call " << k;
    EXPECT_EQ(LockCount(h), c.caller_locked ? 1u : 0u) << c.what << ", call " << k;
    if (c.caller_locked) GlobalUnlock(h);
    const Bytes after = FromBlock(h);
    GlobalFree(h);
    if (!reached) {
      EXPECT_EQ(after, turned) << c.what;
      return k - 1;
    }
    EXPECT_EQ(after, dib) << c.what << ", call " << k << " failed";
  }
}

TEST(Failures, EveryServiceCallFailingLeavesTheImageUntouched) {
  const SweepCase cases[] = {
      {"8-bit, block grows", {.bits = 8, .width = 9, .height = 2}, false},
      {"8-bit, block shrinks", {.bits = 8, .width = 2, .height = 9}, false},
      {"24-bit with slack", {.bits = 24, .width = 5, .height = 3, .slack = 20}, true},
      {"24-bit, block grows", {.bits = 24, .width = 7, .height = 2}, true},
      {"zero width", {.bits = 8, .width = 0, .height = 4}, false},
      {"zero height", {.bits = 24, .width = 4, .height = 0}, false},
      {"1-bit", {.bits = 1, .width = 9, .height = 3}, false},
      {"1-bit, caller locked", {.bits = 1, .width = 40, .height = 2, .slack = 5}, true},
      {"1-bit zero width", {.bits = 1, .width = 0, .height = 3}, false},
  };
  for (const SweepCase& c : cases) {
    for (Turn turn : {Turn::kRight, Turn::kLeft}) {
      // At least: lock, scratch, scratch lock, re-size, lock again.
      EXPECT_GE(SweepFailures(c, turn), 4) << c.what;
    }
  }
}

}  // namespace
}  // namespace qt_test
