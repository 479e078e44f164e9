// Service calls made to fail during a turn: every single call, every pair and
// a seeded sample of triples, on movable, caller-locked, fixed and GPTR
// blocks. Afterwards the block holds the untouched image or the turned one
// (with unused bytes behind it only where a cut failed), the caller's lock
// count is as it was and no working block is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "standin_seam.h"
#include "test_images.h"

namespace quadturn::test {
namespace {

namespace seam = quadturn::seam;

enum class Kind { kMovable, kCallerLocked, kFixed, kGptr };

const char* KindName(Kind k) {
  switch (k) {
    case Kind::kMovable: return "movable";
    case Kind::kCallerLocked: return "movable, caller-locked";
    case Kind::kFixed: return "fixed";
    case Kind::kGptr: return "GPTR";
  }
  return "?";
}

const Kind kKinds[] = {Kind::kMovable, Kind::kCallerLocked, Kind::kFixed, Kind::kGptr};

struct Image {
  const char* what;
  Shape shape;
};

const Image kImages[] = {
    {"8-bit, block grows", {.bits = 8, .width = 9, .height = 2}},
    {"8-bit, block shrinks", {.bits = 8, .width = 2, .height = 9}},
    {"8-bit square with slack", {.bits = 8, .width = 6, .height = 6, .slack = 7}},
    {"24-bit with slack", {.bits = 24, .width = 5, .height = 3, .slack = 20}},
    {"24-bit, block grows", {.bits = 24, .width = 7, .height = 2}},
    {"zero width", {.bits = 8, .width = 0, .height = 4}},
    {"zero height", {.bits = 24, .width = 4, .height = 0}},
    {"1-bit", {.bits = 1, .width = 9, .height = 3}},
    {"1-bit, grows", {.bits = 1, .width = 40, .height = 2, .slack = 5}},
    {"1-bit zero width", {.bits = 1, .width = 0, .height = 3}},
    {"8-bit, whole chunks and strips", {.bits = 8, .width = 70, .height = 33, .slack = 3}},
};

std::string Describe(const Image& image, Kind kind, Turn turn, const std::vector<int>& calls) {
  std::ostringstream o;
  o << image.what << ", " << KindName(kind) << (turn == Turn::kRight ? ", right" : ", left")
    << ", failing calls";
  for (int c : calls) o << " " << c;
  return o.str();
}

// Turns the image in a block of the given kind with the listed service calls
// failing; checks what the turn left and returns it. *calls_made receives the
// number of service calls the turn made.
Verdict TurnWithFailures(const Image& image, Kind kind, Turn turn,
                         const std::vector<int>& calls, int* calls_made = nullptr) {
  Rng rng(8);
  const Bytes dib = MakeDib(image.shape, rng, Rules::kRotate90);
  const Bytes turned = Oracle(dib, QuartersOf(turn), Rules::kRotate90);
  const std::string what = Describe(image, kind, turn, calls);
  HGLOBAL h = ToBlock(dib, kind == Kind::kFixed ? GMEM_FIXED
                           : kind == Kind::kGptr ? GPTR
                                                 : GMEM_MOVEABLE);
  if (kind == Kind::kCallerLocked) GlobalLock(h);
  const UINT locks = LockCount(h);
  const std::size_t live = seam::LiveBlocks();

  seam::FailCallsOfAny({calls.size() > 0 ? calls[0] : 0, calls.size() > 1 ? calls[1] : 0,
                        calls.size() > 2 ? calls[2] : 0});
  Apply(turn, h);
  if (calls_made != nullptr) *calls_made = seam::CallsSinceArmed();
  seam::Disarm();

  EXPECT_EQ(seam::LiveBlocks(), live) << what;
  EXPECT_EQ(LockCount(h), locks) << what;
  if (kind == Kind::kCallerLocked) GlobalUnlock(h);
  const Bytes after = FromBlock(h);
  EXPECT_EQ(GlobalFree(h), nullptr) << what << ": the caller's handle must stay valid";
  const Verdict v = Judge(dib, turned, after);
  EXPECT_NE(v, Verdict::kBroken) << what;
  return v;
}

// The number of service calls a turn makes when none fails.
int CallsOfCleanTurn(const Image& image, Kind kind, Turn turn) {
  int calls = 0;
  const Verdict v = TurnWithFailures(image, kind, turn, {}, &calls);
  // Only a fixed block that would have to grow may stay untouched.
  const bool fixed = kind == Kind::kFixed || kind == Kind::kGptr;
  EXPECT_TRUE(v == Verdict::kTurned || (fixed && v == Verdict::kUntouched))
      << image.what << ", " << KindName(kind) << ": " << Name(v);
  return calls;
}

TEST(Failures, EverySingleFailingCall) {
  for (const Image& image : kImages) {
    for (Kind kind : kKinds) {
      for (Turn turn : {Turn::kRight, Turn::kLeft}) {
        const int calls = CallsOfCleanTurn(image, kind, turn);
        EXPECT_GE(calls, 1) << image.what;  // at least the lock
        for (int k = 1; k <= calls + 1; ++k) {
          // One failure can leave slack only behind a turned image.
          EXPECT_NE(TurnWithFailures(image, kind, turn, {k}), Verdict::kUntouchedLonger)
              << image.what << ", " << KindName(kind) << ", call " << k;
        }
      }
    }
  }
}

TEST(Failures, EveryPairOfFailingCalls) {
  for (const Image& image : kImages) {
    for (Kind kind : kKinds) {
      const Turn turn = Turn::kRight;
      const int calls = CallsOfCleanTurn(image, kind, turn);
      // A failure makes a turn take other roads, which may make more calls.
      for (int a = 1; a <= calls + 2; ++a) {
        for (int b = a + 1; b <= calls + 3; ++b) TurnWithFailures(image, kind, turn, {a, b});
      }
    }
  }
}

TEST(Failures, SampleOfFailingTriples) {
  for (uint64_t n = 0; n < 300; ++n) {
    Rng rng(40000 + n);
    const Image& image = kImages[rng.Below(std::size(kImages))];
    const Kind kind = kKinds[rng.Below(4)];
    const Turn turn = rng.Below(2) ? Turn::kRight : Turn::kLeft;
    std::vector<int> calls = {1 + rng.Below(8), 1 + rng.Below(8), 1 + rng.Below(8)};
    SCOPED_TRACE("case " + std::to_string(40000 + n));
    TurnWithFailures(image, kind, turn, calls);
  }
}

// The double failures that once broke the promise, by the calls of a turn of
// a growing 8-bit image: 1 lock, 2 scratch, 3 scratch lock, 4 re-size, 5 lock
// again, 6 the cut back after a failed lock.
TEST(Failures, GrowthThatCannotBeFinishedIsUndone) {
  const Image& grows = kImages[0];
  EXPECT_EQ(TurnWithFailures(grows, Kind::kMovable, Turn::kRight, {4}), Verdict::kUntouched);
  EXPECT_EQ(TurnWithFailures(grows, Kind::kMovable, Turn::kRight, {5}), Verdict::kUntouched);
  // Cut back fails too: the untouched image with the added bytes behind it.
  EXPECT_EQ(TurnWithFailures(grows, Kind::kMovable, Turn::kRight, {5, 6}),
            Verdict::kUntouchedLonger);
  EXPECT_EQ(TurnWithFailures(grows, Kind::kCallerLocked, Turn::kLeft, {5, 6}),
            Verdict::kUntouchedLonger);
}

TEST(Failures, ShrinkWhoseCutFailsIsStillTurned) {
  const Image& shrinks = kImages[1];
  for (Kind kind : kKinds) {
    EXPECT_EQ(TurnWithFailures(shrinks, kind, Turn::kRight, {4}), Verdict::kTurnedLonger)
        << KindName(kind);
  }
}

}  // namespace
}  // namespace quadturn::test

namespace quadturn::test {
namespace {

// RotateQuarterTurns and RotateFlip under failing service calls: besides the
// block's state, the answer must say what happened: TRUE exactly when the
// image turned, FALSE with ERROR_NOT_ENOUGH_MEMORY when it did not. `type`
// is RotateFlip's, or -1 for RotateQuarterTurns(turns).
struct QuarterTurnsCase {
  const char* what;
  Shape shape;
  int turns;
  int type = -1;
};

const QuarterTurnsCase kQuarterTurnsCases[] = {
    {"32-bit grows", {.bits = 32, .width = 9, .height = 2}, 1},
    {"4-bit shrinks, top-down", {.bits = 4, .width = 2, .height = 9, .top_down = true}, -1},
    {"16-bit square with slack", {.bits = 16, .width = 5, .height = 5, .slack = 6}, 3},
    {"24-bit half turn", {.bits = 24, .width = 5, .height = 3}, 2},
    {"8-bit with a profile", {.bits = 8, .width = 3, .height = 7, .header_bytes = 124,
                              .profile_bytes = 9, .profile_gap = 2}, 1},
    {"8-bit transposed, grows", {.bits = 8, .width = 9, .height = 2}, 0, 5},
    {"1-bit square transversed", {.bits = 1, .width = 40, .height = 40, .slack = 3}, 0, 7},
    {"24-bit mirrored", {.bits = 24, .width = 5, .height = 3}, 0, 4},
    {"4-bit flipped, top-down", {.bits = 4, .width = 7, .height = 4, .top_down = true}, 0, 6},
};

void QuarterTurnsWithFailures(const QuarterTurnsCase& c, UINT flags, const std::vector<int>& calls,
                             int* calls_made) {
  Rng rng(41000);
  const Bytes dib = MakeDib(c.shape, rng);
  const Bytes turned = c.type < 0 ? Oracle(dib, c.turns, Rules::kQuarterTurns)
                                  : OracleOriented(dib, c.type, Rules::kQuarterTurns);
  std::string what = std::string(c.what) + (flags == GMEM_FIXED ? ", fixed" : ", movable") +
                     ", failing calls";
  for (int k : calls) what += " " + std::to_string(k);
  HGLOBAL h = ToBlock(dib, flags);
  const std::size_t live = seam::LiveBlocks();
  seam::FailCallsOfAny({calls.size() > 0 ? calls[0] : 0, calls.size() > 1 ? calls[1] : 0});
  const BOOL ok = c.type < 0 ? RotateQuarterTurns(h, c.turns) : RotateFlip(h, c.type);
  const DWORD error = GetLastError();
  if (calls_made != nullptr) *calls_made = seam::CallsSinceArmed();
  seam::Disarm();
  EXPECT_EQ(seam::LiveBlocks(), live) << what;
  EXPECT_EQ(LockCount(h), 0u) << what;
  const Verdict v = Judge(dib, turned, FromBlock(h));
  EXPECT_NE(v, Verdict::kBroken) << what;
  EXPECT_EQ(ok != FALSE, IsTurned(v)) << what << ": answered " << ok << ", " << Name(v);
  if (!ok) {
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << what;
  }
  GlobalFree(h);
}

TEST(Failures, QuarterTurnsAnswerWhatHappened) {
  for (const QuarterTurnsCase& c : kQuarterTurnsCases) {
    for (UINT flags : {GMEM_MOVEABLE, GMEM_FIXED}) {
      int calls = 0;
      QuarterTurnsWithFailures(c, flags, {}, &calls);
      for (int a = 1; a <= calls + 2; ++a) {
        QuarterTurnsWithFailures(c, flags, {a}, nullptr);
        for (int b = a + 1; b <= calls + 3; ++b) QuarterTurnsWithFailures(c, flags, {a, b}, nullptr);
      }
    }
  }
}

TEST(Failures, ShapeKeepingTypesAskNothingOfTheServiceButALock) {
  Rng rng(41001);
  const Bytes dib = MakeDib({.bits = 24, .width = 5, .height = 3, .slack = 4}, rng);
  HGLOBAL h = ToBlock(dib);
  for (int type : {2, 4, 6}) {
    seam::FailCallsOfAny({});
    EXPECT_TRUE(RotateFlip(h, type));
    EXPECT_EQ(seam::CallsSinceArmed(), 1) << "type " << type << ": one lock, no block, no re-size";
    seam::Disarm();
  }
  GlobalFree(h);
}

// RotateFlipPixels: its working block is its only use of the service. With
// any call or pair of them failing it answers ERROR_NOT_ENOUGH_MEMORY with
// nothing written, or turns; no block is left behind, the last error kept.
TEST(Failures, PixelBuffersAnswerWhatHappened) {
  struct Case {
    const char* what;
    int bits, w, h, type;
    bool in_place;
  };
  const Case cases[] = {{"8-bit rectangle in place", 8, 70, 33, 1, true},
                        {"24-bit square in place", 24, 40, 40, 3, true},
                        {"8-bit out of place, staged tiles", 8, 300, 260, 5, false},
                        {"mirror in place, no working memory", 16, 9, 4, 4, true}};
  for (const Case& c : cases) {
    const int32_t ss = StrideOf(c.bits, c.w), ds = c.type % 2 ? StrideOf(c.bits, c.h) : ss;
    const size_t area = std::max<size_t>(size_t(ss) * c.h, size_t(ds) * (c.type % 2 ? c.w : c.h));
    Rng rng(41002);
    Bytes src(area);
    for (auto& b : src) b = rng.Byte();
    const Bytes want = OracleRows(c.bits, src.data(), ss, c.w, c.h, c.type, 0);
    int calls = 0;
    for (int a = 0; a <= calls + 1; ++a) {
      for (int b = a == 0 ? 0 : a + 1; b <= (a == 0 ? 0 : calls + 2); ++b) {
        Bytes memory = src;
        Bytes out(want.size(), 0);
        const std::size_t live = seam::LiveBlocks();
        seam::FailCallsOfAny({a, b});
        SetLastError(4242);
        const DWORD r = c.in_place
                            ? RotateFlipPixels(memory.data(), ss, memory.data(), ds, c.w, c.h, c.bits, c.type)
                            : RotateFlipPixels(memory.data(), ss, out.data(), ds, c.w, c.h, c.bits, c.type);
        if (a == 0) calls = seam::CallsSinceArmed();
        seam::Disarm();
        const std::string what = std::string(c.what) + ", failing calls " + std::to_string(a) + " " +
                                 std::to_string(b);
        EXPECT_EQ(GetLastError(), 4242u) << what;
        EXPECT_EQ(seam::LiveBlocks(), live) << what;
        const Bytes& result = c.in_place ? memory : out;
        if (r == 0) {
          // Pixels only: rows of the oracle's stride, as the strides here are.
          EXPECT_TRUE(std::equal(want.begin(), want.end(), result.begin())) << what;
        } else {
          EXPECT_EQ(r, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << what;
          EXPECT_EQ(memory, src) << what;
          if (!c.in_place) {
            EXPECT_EQ(out, Bytes(want.size(), 0)) << what;
          }
        }
      }
    }
    EXPECT_EQ(calls, c.type == 4 ? 0 : 2) << c.what << ": a block and its lock";
  }
}

}  // namespace
}  // namespace quadturn::test
