// What the library relies on from the global memory service, asserted only
// where the stand-in and the real service agree.
#include <gtest/gtest.h>

#include <cstring>

#include "quadturn.h"

namespace {

UINT Locks(HGLOBAL h) { return GlobalFlags(h) & GMEM_LOCKCOUNT; }

TEST(BlockService, EmptyBlockIsABlockWithoutAnAddress) {
  for (UINT flags : {GMEM_MOVEABLE, GMEM_MOVEABLE | GMEM_ZEROINIT}) {
    HGLOBAL h = GlobalAlloc(flags, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalSize(h), 0u);
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GlobalUnlock(h), FALSE);
    EXPECT_EQ(GlobalFree(h), nullptr);
  }
}

TEST(BlockService, LockCountRisesAndFalls) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_GE(GlobalSize(h), 16u);
  void* first = GlobalLock(h);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GlobalLock(h), first);
  EXPECT_EQ(Locks(h), 2u);
  EXPECT_NE(GlobalUnlock(h), FALSE);
  EXPECT_EQ(GlobalUnlock(h), FALSE);
  EXPECT_EQ(Locks(h), 0u);
  EXPECT_EQ(GlobalUnlock(h), FALSE) << "unlocking an unlocked block";
  EXPECT_EQ(Locks(h), 0u);
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(BlockService, ZeroInitStartsAtZero) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 1000);
  auto* p = static_cast<unsigned char*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(p[i], 0) << i;
  GlobalUnlock(h);
  GlobalFree(h);
}

// Grow and shrink, with and without a lock held: same handle, same lock
// count, the first min(old, new) bytes kept.
TEST(BlockService, ReAllocKeepsHandleLockCountAndPrefix) {
  struct Case { SIZE_T from, to; bool locked; };
  const Case cases[] = {{16, 4096, false}, {16, 4096, true},
                        {5000, 100, false}, {5000, 100, true},
                        {64, 65, true},     {1 << 20, 4 << 20, true}};
  for (const Case& c : cases) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, c.from);
    auto* p = static_cast<unsigned char*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    for (SIZE_T i = 0; i < c.from; ++i) p[i] = static_cast<unsigned char>(i * 7);
    if (!c.locked) GlobalUnlock(h);

    EXPECT_EQ(GlobalReAlloc(h, c.to, GMEM_MOVEABLE), h);
    EXPECT_GE(GlobalSize(h), c.to);
    EXPECT_EQ(Locks(h), c.locked ? 1u : 0u);
    auto* q = static_cast<unsigned char*>(GlobalLock(h));
    ASSERT_NE(q, nullptr);
    const SIZE_T kept = c.from < c.to ? c.from : c.to;
    for (SIZE_T i = 0; i < kept; ++i) {
      ASSERT_EQ(q[i], static_cast<unsigned char>(i * 7)) << c.from << "->" << c.to;
    }
    GlobalUnlock(h);
    if (c.locked) GlobalUnlock(h);
    EXPECT_EQ(Locks(h), 0u);
    EXPECT_EQ(GlobalFree(h), nullptr);
  }
}

TEST(BlockService, ImpossibleRequestsFailCleanly) {
  EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(-1)), nullptr);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 8);
  void* p = GlobalLock(h);
  std::memset(p, 0x5C, 8);
  GlobalUnlock(h);
  EXPECT_EQ(GlobalReAlloc(h, static_cast<SIZE_T>(-1), GMEM_MOVEABLE), nullptr);
  EXPECT_EQ(GlobalSize(h), 8u);
  auto* q = static_cast<unsigned char*>(GlobalLock(h));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(q[i], 0x5C);
  GlobalUnlock(h);
  GlobalFree(h);
}

}  // namespace
