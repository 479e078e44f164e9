// Turning distinct blocks on many threads at once gives exactly what turning
// them one by one gives (run under ThreadSanitizer in CI), and every kind of
// turn fits the small stack of a host's worker thread.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "small_stack.h"
#include "test_images.h"

namespace quadturn::test {
namespace {

constexpr int kThreads = 8;
constexpr int kImagesPerThread = 12;

// Image k of thread t, and the direction it is turned in. Each thread's
// first image is large: blocks of their own mapping in the stand-in, whole
// staged tiles and in-place chunks.
Bytes ImageFor(int t, int k, Turn* turn) {
  Rng rng(static_cast<uint64_t>(9000 + t * 100 + k));
  const int depths[] = {1, 8, 24};
  const int32_t most = k == 0 ? 1100 : 150, least = k == 0 ? 500 : 1;
  Shape shape{.bits = depths[rng.Below(3)], .width = least + rng.Below(most - least),
                 .height = least + rng.Below(most - least)};
  *turn = rng.Below(2) ? Turn::kRight : Turn::kLeft;
  return MakeDib(shape, rng, Rules::kRotate90);
}

// Turns each image three times (right, right, then the chosen way), as a
// thread of a busy host would, then once more with RotateQuarterTurns; the
// last error a thread set stays its own.
Bytes TurnThrice(const Bytes& dib, Turn turn, DWORD mark) {
  HGLOBAL h = ToBlock(dib);
  RotateRight90(h);
  RotateRight90(h);
  Apply(turn, h);
  SetLastError(mark);
  if (!RotateQuarterTurns(h, turn == Turn::kRight ? 5 : -2) || GetLastError() != mark) {
    return {};
  }
  Bytes out = FromBlock(h);
  GlobalFree(h);
  return out;
}

TEST(Threads, DistinctBlocksAtOnceMatchOneByOne) {
  std::vector<std::vector<Bytes>> alone(kThreads), together(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kImagesPerThread; ++k) {
      Turn turn;
      const Bytes dib = ImageFor(t, k, &turn);
      alone[t].push_back(TurnThrice(dib, turn, 1000 + t));
    }
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &together] {
      for (int k = 0; k < kImagesPerThread; ++k) {
        Turn turn;
        const Bytes dib = ImageFor(t, k, &turn);
        together[t].push_back(TurnThrice(dib, turn, 1000 + t));
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kImagesPerThread; ++k) {
      EXPECT_FALSE(alone[t][k].empty()) << "thread " << t << ", image " << k;
      EXPECT_EQ(together[t][k], alone[t][k]) << "thread " << t << ", image " << k;
    }
  }
}

// Every kind of call on a thread with a 64 KiB stack: each entry and depth,
// squares, other shapes and half turns (all in place), large enough for
// whole staged and saved tiles and in-place chunks. Each result
// against the oracle, and the stack the call used within the 16 KiB the
// README promises (measured: under 5 KiB, under 8 KiB with sanitizers).
TEST(Threads, EveryKindOfTurnFitsASmallStack) {
  struct Case {
    int bits;
    int32_t width, height;
    int turns;          // quarter turns clockwise
    bool original;      // RotateRight90 / RotateLeft90 rather than RotateQuarterTurns
  };
  const Case cases[] = {
      {8, 600, 300, 1, true},   {8, 520, 520, 3, true},   {8, 300, 600, 2, false},
      {24, 300, 200, 3, true},  {24, 260, 260, 1, true},  {24, 200, 300, 2, false},
      {1, 1100, 300, 1, true},  {1, 1030, 1030, 3, true}, {1, 300, 1100, 2, false},
      {4, 600, 300, 1, false},  {4, 520, 520, 3, false},  {16, 300, 270, 3, false},
      {16, 520, 520, 1, false}, {32, 300, 270, 1, false}, {32, 260, 260, 3, false},
      {32, 270, 300, 2, false},
  };
  constexpr std::size_t kStack = 64 * 1024;
  constexpr std::size_t kBudget = 16 * 1024;
  uint64_t n = 0;
  for (const Case& c : cases) {
    const uint64_t case_number = 9500 + n++;
    Rng rng(case_number);
    const Turn turn = c.turns == 1 ? Turn::kRight : Turn::kLeft;
    const Rules rules = c.original ? Rules::kRotate90 : Rules::kQuarterTurns;
    const Bytes dib = MakeDib({.bits = c.bits, .width = c.width, .height = c.height}, rng, rules);
    const Bytes want = Oracle(dib, c.turns, rules);
    HGLOBAL h = ToBlock(dib);
    const std::size_t used = RunOnSmallStack(kStack, [&] {
      if (c.original) {
        Apply(turn, h);
      } else {
        RotateQuarterTurns(h, c.turns);
      }
    });
    const std::string what = "case " + std::to_string(case_number) + ": " +
                             std::to_string(c.bits) + "-bit " + std::to_string(c.width) + "x" +
                             std::to_string(c.height) + ", turns " + std::to_string(c.turns);
    EXPECT_EQ(FromBlock(h), want) << what;
    GlobalFree(h);
    EXPECT_LE(used, kBudget) << what;
  }
}

}  // namespace
}  // namespace quadturn::test
