// Fuzz target: any bytes as a caller's block. The last input byte is the
// control byte: bit 0 the direction, bit 1 whether the caller holds a lock of
// its own, bit 2 a fixed block instead of a movable one, bits 3-5 the first
// service call to fail (0: none) and bits 6-7 a second one that many calls
// after it (0: none); the bytes before it are the block. On every input: the
// lock count is as on entry, no block is left behind, and the block holds the
// untouched image or exactly the per-pixel turn of it (either with unused
// bytes behind it only where a cut failed), and a turned image turns back.
#include <cstdint>
#include <cstring>

#include "call_on_block.h"
#include "test_images.h"

namespace {

namespace fuzz = quadturn::fuzz;
namespace test = quadturn::test;
using test::Bytes;
using test::Turn;
using test::Verdict;

Turn Opposite(Turn t) { return t == Turn::kRight ? Turn::kLeft : Turn::kRight; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t control = data[size - 1];
  const Bytes before(data, data + size - 1);
  const Turn turn = (control & 1) ? Turn::kLeft : Turn::kRight;
  const bool caller_locked = (control & 2) != 0;
  const bool fixed = (control & 4) != 0;
  const int first_failure = (control >> 3) & 7;
  const int second_failure = first_failure != 0 && (control >> 6) != 0
                                 ? first_failure + (control >> 6) : 0;

  const std::size_t live = fuzz::LiveBlocks();
  Bytes after;
  HGLOBAL h = fuzz::CallOnBlock(before, fixed, caller_locked, first_failure, second_failure,
                                [turn](HGLOBAL b) { test::Apply(turn, b); }, &after);
  if (h == nullptr) return 0;
  auto oracle = [](const Bytes& dib, Turn t) {
    return test::Oracle(dib, test::QuartersOf(t), test::Rules::kRotate90);
  };
  if (after != before) {
    const Bytes turned = oracle(before, turn);
    const Verdict verdict = test::Judge(before, turned, after);
    fuzz::Check(verdict != Verdict::kBroken, "untouched or exactly the oracle's turn");
    if (test::IsTurned(verdict)) {
      // The opposite turn restores every pixel (the padding and header sizes
      // are the turn's own). A fixed block that must grow may stay as it is.
      test::Apply(Opposite(turn), h);
      const Bytes back = test::FromBlock(h);
      const Bytes expected = oracle(turned, Opposite(turn));
      fuzz::Check(back == expected || (fixed && back == after), "turned back as the oracle");
      fuzz::Check(back != expected || oracle(back, turn) == turned,
                  "turning back restores every pixel");
    }
  }
  GlobalFree(h);
  fuzz::Check(fuzz::LiveBlocks() == live, "no block left behind");
  return 0;
}
