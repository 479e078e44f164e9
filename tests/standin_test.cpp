// The stand-in service: its strict mode (moving re-sizes, poisoned bytes,
// checked handles), its fast mode (mappings re-sized in place or by the
// system), fixed blocks, and its test seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include "standin_seam.h"
#include "quadturn.h"

namespace {

using quadturn::seam::Call;

// Sets the stand-in's mode for one test and puts the suite's back after.
class Mode {
 public:
  explicit Mode(bool strict) : was_(quadturn::seam::IsStrict()) {
    quadturn::seam::SetStrict(strict);
  }
  ~Mode() { quadturn::seam::SetStrict(was_); }

 private:
  bool was_;
};

TEST(StandIn, ReSizeMovesEvenWhileLockedAndPoisonsNewBytes) {
  Mode strict(true);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 8);
  auto* before = static_cast<unsigned char*>(GlobalLock(h));
  ASSERT_NE(before, nullptr);
  ASSERT_EQ(GlobalReAlloc(h, 12, GMEM_MOVEABLE), h);
  auto* after = static_cast<unsigned char*>(GlobalLock(h));
  EXPECT_NE(after, before);
  EXPECT_EQ(after[8], 0xA5);
  EXPECT_EQ(after[11], 0xA5);
  GlobalUnlock(h);
  GlobalUnlock(h);
  // Same size: nothing to do, nothing moves.
  void* again = GlobalLock(h);
  EXPECT_EQ(GlobalReAlloc(h, 12, GMEM_MOVEABLE), h);
  EXPECT_EQ(GlobalLock(h), again);
  GlobalUnlock(h);
  GlobalUnlock(h);
  GlobalFree(h);
}

TEST(StandIn, ReSizeToZeroDiscardsOnlyAnUnlockedBlock) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 32);
  GlobalLock(h);
  EXPECT_EQ(GlobalReAlloc(h, 0, GMEM_MOVEABLE), nullptr);
  EXPECT_EQ(GlobalSize(h), 32u);
  GlobalUnlock(h);
  EXPECT_EQ(GlobalReAlloc(h, 0, GMEM_MOVEABLE), h);
  EXPECT_EQ(GlobalSize(h), 0u);
  EXPECT_EQ(GlobalFlags(h), static_cast<UINT>(GMEM_DISCARDED));
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalReAlloc(h, 10, GMEM_MOVEABLE), h) << "revived";
  EXPECT_NE(GlobalLock(h), nullptr);
  GlobalUnlock(h);
  GlobalFree(h);
}

TEST(StandIn, WithoutMoveableOnlyShrinksInPlace) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 32);
  void* p = GlobalLock(h);
  EXPECT_EQ(GlobalReAlloc(h, 64, 0), nullptr);
  EXPECT_EQ(GlobalReAlloc(h, 16, 0), h);
  EXPECT_EQ(GlobalLock(h), p);
  GlobalUnlock(h);
  GlobalUnlock(h);
  GlobalFree(h);
}

// Fixed blocks as Windows has them: the handle is the address, no lock
// count, in-place re-sizes only unless GMEM_MOVEABLE lets it move (and then
// the handle changes and the old one is gone).
TEST(StandIn, FixedBlocksAreTheirOwnAddress) {
  Mode strict(true);
  HGLOBAL f = GlobalAlloc(GPTR, 64);
  ASSERT_NE(f, nullptr);
  auto* p = static_cast<unsigned char*>(GlobalLock(f));
  EXPECT_EQ(static_cast<void*>(p), f);
  EXPECT_EQ(p[63], 0) << "GPTR is zero-filled";
  GlobalLock(f);
  EXPECT_EQ(GlobalFlags(f), 0u) << "no lock count";
  EXPECT_NE(GlobalUnlock(f), FALSE);
  EXPECT_EQ(GlobalHandle(p), f);
  EXPECT_EQ(GlobalSize(f), 64u);

  EXPECT_EQ(GlobalReAlloc(f, 32, 0), f) << "shrinks in place";
  EXPECT_EQ(GlobalSize(f), 32u);
  EXPECT_EQ(GlobalReAlloc(f, 48, 0), f) << "regrows into the memory it had";
  EXPECT_EQ(GlobalReAlloc(f, 65, 0), nullptr) << "but no further";
  EXPECT_EQ(GlobalReAlloc(f, 32, 0), f);
  p[0] = 0x77;
  HGLOBAL moved = GlobalReAlloc(f, 100, GMEM_MOVEABLE);
  ASSERT_NE(moved, nullptr);
  EXPECT_NE(moved, f) << "moving a fixed block changes its handle";
  EXPECT_EQ(GlobalSize(f), 0u) << "and frees the old address";
  EXPECT_EQ(GlobalFlags(f), static_cast<UINT>(GMEM_INVALID_HANDLE));
  EXPECT_EQ(static_cast<unsigned char*>(moved)[0], 0x77);
  EXPECT_EQ(GlobalFree(moved), nullptr);
  HGLOBAL empty = GlobalAlloc(GMEM_FIXED, 0);
  EXPECT_NE(empty, nullptr) << "an empty fixed block has an address";
  EXPECT_EQ(GlobalLock(empty), empty);
  GlobalFree(empty);
}

TEST(StandIn, GlobalHandleFindsMovableBlocksByAddress) {
  Mode strict(true);
  HGLOBAL m = GlobalAlloc(GMEM_MOVEABLE, 16);
  void* p = GlobalLock(m);
  EXPECT_EQ(GlobalHandle(p), m);
  EXPECT_EQ(GlobalHandle(static_cast<char*>(p) + 1), nullptr);
  GlobalUnlock(m);
  GlobalReAlloc(m, 4000, GMEM_MOVEABLE);
  void* q = GlobalLock(m);
  EXPECT_EQ(GlobalHandle(q), m);
  EXPECT_EQ(GlobalHandle(p), nullptr) << "the old address is gone";
  GlobalUnlock(m);
  GlobalFree(m);
}

TEST(StandIn, StaleAndForeignHandlesAreRefused) {
  Mode strict(true);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 16);
  ASSERT_EQ(GlobalFree(h), nullptr);
  HGLOBAL reused = GlobalAlloc(GMEM_MOVEABLE, 16);  // takes the freed slot
  ASSERT_NE(reused, h);
  int local = 0;
  const HGLOBAL junk[] = {h, nullptr, reinterpret_cast<HGLOBAL>(0x1234),
                          reinterpret_cast<HGLOBAL>(&local),
                          reinterpret_cast<HGLOBAL>(~uintptr_t{0})};
  for (HGLOBAL j : junk) {
    EXPECT_EQ(GlobalLock(j), nullptr);
    EXPECT_EQ(GlobalUnlock(j), FALSE);
    EXPECT_EQ(GlobalSize(j), 0u);
    EXPECT_EQ(GlobalFlags(j), static_cast<UINT>(GMEM_INVALID_HANDLE));
    EXPECT_EQ(GlobalReAlloc(j, 8, GMEM_MOVEABLE), nullptr);
    EXPECT_EQ(GlobalFree(j), j);
    EXPECT_EQ(RotateRight90(j), FALSE);
  }
  EXPECT_EQ(GlobalSize(reused), 16u);
  GlobalFree(reused);
}

// Fast mode: large blocks are mappings on a huge-page boundary, re-sized by
// the system (growing may move them, shrinking does not); small ones stay
// on the heap; nothing is poisoned, and the handle stays the same.
TEST(StandIn, FastModeMapsLargeBlocksAndReSizesThemWithoutCopying) {
  Mode fast(false);
  struct Case { SIZE_T from, to; UINT flags; };
  const Case cases[] = {{3 << 20, 40 << 20, GMEM_MOVEABLE}, {40 << 20, 3 << 20, GMEM_MOVEABLE},
                        {100, 2 << 20, GMEM_MOVEABLE},      {5 << 20, 100, GMEM_MOVEABLE},
                        {64, 200, GMEM_MOVEABLE},           {4 << 20, 6 << 20, GMEM_FIXED}};
  for (const Case& c : cases) {
    HGLOBAL h = GlobalAlloc(c.flags | GMEM_ZEROINIT, c.from);
    auto* p = static_cast<unsigned char*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    if (c.from >= (1u << 20)) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % (2u << 20), 0u) << "huge-page aligned";
    }
    EXPECT_EQ(p[c.from - 1], 0);
    for (SIZE_T i = 0; i < c.from; i += 4093) p[i] = static_cast<unsigned char>(i / 4093 + 1);
    GlobalUnlock(h);
    HGLOBAL r = GlobalReAlloc(h, c.to, GMEM_MOVEABLE | GMEM_ZEROINIT);
    ASSERT_NE(r, nullptr) << c.from << "->" << c.to;
    if ((c.flags & GMEM_MOVEABLE) != 0) {
      EXPECT_EQ(r, h);
    }
    auto* q = static_cast<unsigned char*>(GlobalLock(r));
    if (c.to < c.from) {
      EXPECT_EQ(q, p) << "shrinks in place";
    }
    for (SIZE_T i = 0; i < std::min(c.from, c.to); i += 4093) {
      ASSERT_EQ(q[i], static_cast<unsigned char>(i / 4093 + 1)) << c.from << "->" << c.to;
    }
    if (c.to > c.from) {
      EXPECT_EQ(q[c.to - 1], 0) << "zero-filled growth";
    }
    EXPECT_EQ(GlobalSize(r), c.to);
    GlobalUnlock(r);
    EXPECT_EQ(GlobalFree(r), nullptr);
  }
}

// Fast mode keeps the last large mapping freed for the next block of about
// its size; a block asked to be zero must still come back zero, whatever
// the freed one held, and a kept mapping must serve a block whole.
TEST(StandIn, FastModeReusesFreedMappingsButZeroesWhenAsked) {
  Mode fast(false);
  struct Case { SIZE_T freed, next; UINT flags; };
  const Case cases[] = {{4 << 20, 4 << 20, GMEM_MOVEABLE | GMEM_ZEROINIT},
                        {6 << 20, 4 << 20, GMEM_FIXED | GMEM_ZEROINIT},
                        {6 << 20, (4 << 20) + 1, GMEM_MOVEABLE},
                        {3 << 20, 5 << 20, GMEM_MOVEABLE}};
  for (const Case& c : cases) {
    HGLOBAL old = GlobalAlloc(GMEM_MOVEABLE, c.freed);
    auto* p = static_cast<unsigned char*>(GlobalLock(old));
    ASSERT_NE(p, nullptr);
    std::fill(p, p + c.freed, 0xCD);
    GlobalUnlock(old);
    ASSERT_EQ(GlobalFree(old), nullptr);

    HGLOBAL h = GlobalAlloc(c.flags, c.next);
    auto* q = static_cast<unsigned char*>(GlobalLock(h));
    ASSERT_NE(q, nullptr) << c.freed << " then " << c.next;
    EXPECT_EQ(GlobalSize(h), c.next);
    if ((c.flags & GMEM_ZEROINIT) != 0) {
      EXPECT_EQ(std::count(q, q + c.next, 0), static_cast<std::ptrdiff_t>(c.next))
          << c.freed << " then " << c.next;
    }
    std::fill(q, q + c.next, 0x5A);  // every byte is the block's
    GlobalUnlock(h);
    EXPECT_EQ(GlobalFree(h), nullptr);
  }
}

TEST(StandIn, LockCountSaturates) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 4);
  for (int i = 0; i < 300; ++i) GlobalLock(h);
  EXPECT_EQ(GlobalFlags(h) & GMEM_LOCKCOUNT, 255u);
  GlobalFree(h);
}

TEST(StandInSeam, FailsTheChosenCallAndCountsBlocks) {
  const std::size_t live = quadturn::seam::LiveBlocks();
  quadturn::seam::FailNth(Call::kAlloc, 2);
  HGLOBAL a = GlobalAlloc(GMEM_MOVEABLE, 4);
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, 4), nullptr);
  EXPECT_EQ(quadturn::seam::LiveBlocks(), live + 1);

  quadturn::seam::FailNth(Call::kLock, 1);
  EXPECT_EQ(GlobalLock(a), nullptr);
  EXPECT_EQ(GlobalFlags(a) & GMEM_LOCKCOUNT, 0u);
  quadturn::seam::FailNth(Call::kReAlloc, 1);
  EXPECT_EQ(GlobalReAlloc(a, 100, GMEM_MOVEABLE), nullptr);
  EXPECT_EQ(GlobalSize(a), 4u);

  quadturn::seam::FailCallsOfAny({3});
  EXPECT_NE(GlobalLock(a), nullptr);
  EXPECT_NE(GlobalReAlloc(a, 8, GMEM_MOVEABLE), nullptr);
  EXPECT_EQ(GlobalLock(a), nullptr);
  EXPECT_EQ(quadturn::seam::CallsSinceArmed(), 3);
  quadturn::seam::Disarm();
  GlobalFree(a);
  EXPECT_EQ(quadturn::seam::LiveBlocks(), live);
}

TEST(StandInSeam, TracksPeakBytesOfOtherBlocks) {
  HGLOBAL image = GlobalAlloc(GMEM_MOVEABLE, 1000);
  quadturn::seam::TrackPeakBytes(image);
  const std::size_t base = quadturn::seam::PeakTrackedBytes();
  GlobalReAlloc(image, 5000, GMEM_MOVEABLE);  // the excluded block does not count
  HGLOBAL a = GlobalAlloc(GMEM_MOVEABLE, 300);
  GlobalReAlloc(a, 700, GMEM_MOVEABLE);
  HGLOBAL b = GlobalAlloc(GMEM_MOVEABLE, 50);
  GlobalFree(a);
  GlobalFree(b);
  EXPECT_EQ(quadturn::seam::PeakTrackedBytes(), base + 750);
  GlobalFree(image);
}

TEST(StandIn, DistinctBlocksFromDistinctThreads) {
  std::vector<std::thread> threads;
  std::vector<int> bad(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &bad] {
      for (int i = 0; i < 500; ++i) {
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 16 + i % 7);
        auto* p = static_cast<unsigned char*>(GlobalLock(h));
        p[0] = static_cast<unsigned char>(t);
        GlobalUnlock(h);
        GlobalReAlloc(h, 300 + i, GMEM_MOVEABLE);
        p = static_cast<unsigned char*>(GlobalLock(h));
        if (p[0] != t) ++bad[t];
        GlobalUnlock(h);
        GlobalFree(h);
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(bad[t], 0) << t;
}

}  // namespace
