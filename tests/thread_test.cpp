// Turning distinct blocks on many threads at once gives exactly what turning
// them one by one gives (run under ThreadSanitizer in CI).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "test_images.h"

namespace qt_test {
namespace {

constexpr int kThreads = 8;
constexpr int kImagesPerThread = 12;

// Image k of thread t, and the direction it is turned in.
Bytes ImageFor(int t, int k, Turn* turn) {
  Rng rng(static_cast<uint64_t>(9000 + t * 100 + k));
  const int depths[] = {1, 8, 24};
  DibShape shape{.bits = depths[rng.Below(3)], .width = 1 + rng.Below(150),
                 .height = 1 + rng.Below(150)};
  *turn = rng.Below(2) ? Turn::kRight : Turn::kLeft;
  return MakeDib(shape, rng);
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

}  // namespace
}  // namespace qt_test
