// The part both fuzz targets share: an input's bytes as a caller's block,
// one call of the library on it with chosen service calls failing, and the
// caller's lock count checked.
#ifndef QUADTURN_FUZZ_CALL_ON_BLOCK_H
#define QUADTURN_FUZZ_CALL_ON_BLOCK_H

#include "fault_hooks.h"
#include "test_images.h"

namespace quadturn::fuzz {

// Puts `before` in a block (fixed or movable, locked by the caller or not),
// runs `call(h)` with the first_failure-th and second_failure-th service
// calls failing (0: none), checks the lock count is as on entry, gives the
// caller's lock back and reads the block into *after. Returns the block, or
// null when none could be had (nothing is run then).
template <typename Call>
HGLOBAL CallOnBlock(const test::Bytes& before, bool fixed, bool caller_locked,
                    int first_failure, int second_failure, Call call, test::Bytes* after) {
  HGLOBAL h = test::ToBlock(before, fixed ? GMEM_FIXED : GMEM_MOVEABLE);
  if (h == nullptr) return nullptr;
  if (caller_locked) GlobalLock(h);
  const UINT locks = test::LockCount(h);
  FailCalls(first_failure, second_failure);
  call(h);
  Disarm();
  Check(test::LockCount(h) == locks, "lock count as on entry");
  if (caller_locked) GlobalUnlock(h);
  *after = test::FromBlock(h);
  return h;
}

}  // namespace quadturn::fuzz

#endif  // QUADTURN_FUZZ_CALL_ON_BLOCK_H
