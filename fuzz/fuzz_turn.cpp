// Fuzz target: any bytes as a caller's block. The last input byte chooses the
// direction (bit 0), whether the caller holds a lock of its own (bit 1) and
// which service call, if any, fails (bits 2-5); the bytes before it are the
// block. On every input: the lock count is as on entry, no block is left
// behind, and the block is either untouched byte for byte or exactly the
// per-pixel turn of the image, which turning back restores.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fault_hooks.h"
#include "test_images.h"

namespace {

using qt_test::Bytes;
using qt_test::Turn;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

Turn Opposite(Turn t) { return t == Turn::kRight ? Turn::kLeft : Turn::kRight; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t control = data[size - 1];
  const Bytes before(data, data + size - 1);
  const Turn turn = (control & 1) ? Turn::kLeft : Turn::kRight;
  const bool caller_locked = (control & 2) != 0;
  const int fail_call = (control >> 2) & 15;

  const std::size_t live = qt_fuzz::LiveBlocks();
  HGLOBAL h = qt_test::ToBlock(before);
  if (h == nullptr) return 0;
  if (caller_locked) GlobalLock(h);
  const UINT locks = qt_test::LockCount(h);

  qt_fuzz::FailNthCall(fail_call);
  qt_test::Apply(turn, h);
  qt_fuzz::Disarm();

  Check(qt_test::LockCount(h) == locks, "lock count as on entry");
  if (caller_locked) GlobalUnlock(h);
  const Bytes after = qt_test::FromBlock(h);
  if (after != before) {
    // Turned: exactly the oracle's image, and the opposite turn restores
    // every pixel (the padding and header sizes are the turn's own).
    Check(after == qt_test::OracleTurn(before, turn), "turned image matches the oracle");
    qt_test::Apply(Opposite(turn), h);
    const Bytes back = qt_test::FromBlock(h);
    Check(back == qt_test::OracleTurn(after, Opposite(turn)), "turned back as the oracle");
    Check(qt_test::OracleTurn(back, turn) == after, "turning back restores every pixel");
  }
  GlobalFree(h);
  Check(qt_fuzz::LiveBlocks() == live, "no block left behind");
  return 0;
}
