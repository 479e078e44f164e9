// Fuzz target for RotateQuarterTurns and RotateFlip: any bytes as a
// caller's block. The last input byte is the control byte: bit 0 whether the
// caller holds a lock of its own, bit 1 a fixed block instead of a movable
// one, bits 2-4 the first service call to fail (0: none), bits 5-6 a second
// one that many calls after it (0: none), bit 7 RotateFlip instead of
// RotateQuarterTurns. The byte before it is the turn count (signed), or
// RotateFlip's type (its low three bits); the bytes before that are the
// block. On every input: the lock count is as on entry,
// no block is left behind, TRUE means the block holds exactly the per-pixel
// turn (turning back restores every pixel) and FALSE means it is untouched
// with one of the four errors (either with unused bytes behind it only where
// a cut failed).
#include <algorithm>
#include <cstdint>

#include "call_on_block.h"
#include "test_images.h"

namespace {

namespace fuzz = quadturn::fuzz;
namespace test = quadturn::test;
using test::Bytes;
using test::Verdict;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t control = data[size - 1];
  const bool flip = (control & 0x80) != 0;
  const int turns = static_cast<int8_t>(data[size - 2]);
  const int type = data[size - 2] & 7;
  const Bytes before(data, data + size - 2);
  const bool caller_locked = (control & 1) != 0;
  const bool fixed = (control & 2) != 0;
  const int first_failure = (control >> 2) & 7;
  const int second_failure =
      first_failure != 0 && ((control >> 5) & 3) != 0 ? first_failure + ((control >> 5) & 3) : 0;

  const std::size_t live = fuzz::LiveBlocks();
  BOOL ok = FALSE;
  DWORD error = 0;
  Bytes after;
  HGLOBAL h = fuzz::CallOnBlock(before, fixed, caller_locked, first_failure, second_failure,
                                [&](HGLOBAL b) {
                                  SetLastError(0);
                                  ok = flip ? RotateFlip(b, type) : RotateQuarterTurns(b, turns);
                                  error = GetLastError();
                                },
                                &after);
  if (h == nullptr) return 0;
  // The oracle reads only images the library could take.
  auto oracle = [&] {
    return flip ? test::OracleOriented(before, type, test::Rules::kQuarterTurns)
                : test::Oracle(before, turns, test::Rules::kQuarterTurns);
  };
  if (ok) {
    fuzz::Check(error == 0, "success leaves the last error as it was");
    const Bytes turned = oracle();
    // A turn that changes no byte (an image of no pixels, say) whose cut
    // failed leaves the block exactly as it was, and that is turned too.
    const bool same_with_slack = after == before && turned.size() < before.size() &&
                                 std::equal(turned.begin(), turned.end(), before.begin());
    fuzz::Check(after == turned || same_with_slack ||
                    test::IsTurned(test::Judge(before, turned, after)),
                "turned as the oracle");
    if (flip ? type % 2 != 0 : turns % 2 != 0) {
      // The inverse restores every pixel (padding is the turn's own): the
      // opposite turn, and a transpose or transverse once more.
      const int inverse = type == 1 ? 3 : type == 3 ? 1 : type;
      fuzz::Check((flip ? RotateFlip(h, inverse) : RotateQuarterTurns(h, -turns)) || fixed,
                  "turns back");
      const Bytes back = test::FromBlock(h);
      const Bytes expected = flip ? test::OracleOriented(turned, inverse, test::Rules::kQuarterTurns)
                                  : test::Oracle(turned, -turns, test::Rules::kQuarterTurns);
      fuzz::Check(back == expected || (fixed && back == after),
                  "turned back as the oracle");
    }
  } else {
    fuzz::Check(error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_DATA ||
                    error == ERROR_NOT_SUPPORTED || error == ERROR_NOT_ENOUGH_MEMORY,
                "a failure says why");
    const bool untouched = after == before ||
                           (error == ERROR_NOT_ENOUGH_MEMORY &&
                            test::Judge(before, oracle(), after) == Verdict::kUntouchedLonger);
    fuzz::Check(untouched, "a failure leaves the image untouched");
  }
  GlobalFree(h);
  fuzz::Check(fuzz::LiveBlocks() == live, "no block left behind");
  return 0;
}
