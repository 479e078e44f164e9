// The caller's block while a call borrows it: locking it without disturbing
// the caller's own lock count, and re-sizing it around a turn so that any
// failing service call leaves either the untouched image or the whole turned
// one, never a mixture: whatever can fail comes before the first pixel moves.
#ifndef QUADTURN_CALLER_BLOCK_H
#define QUADTURN_CALLER_BLOCK_H

#include <cstdint>

#include "quadturn.h"

namespace quadturn {

// The caller's block as this call holds it. Gives this call's lock back by
// itself when it goes, whichever way the call leaves; where the order
// matters (before a re-size, before reading last_unlock) UnlockCallerBlock
// gives it back sooner.
struct CallerBlock {
  CallerBlock() = default;
  CallerBlock(const CallerBlock&) = delete;
  CallerBlock& operator=(const CallerBlock&) = delete;
  ~CallerBlock();

  HGLOBAL handle = nullptr;
  uint8_t* bytes = nullptr;  // while this call holds its lock
  SIZE_T size = 0;           // as on entry
  // A fixed block's handle is its address: it keeps no lock count and is
  // only ever re-sized in place (moving it would change the caller's handle).
  bool fixed = false;
  // Whether this call's lock raised the lock count. At 255 the count stays
  // where it is, so giving that lock back would take one of the caller's.
  bool counted = true;
  // The result of this call's last GlobalUnlock of the block: what the two
  // RotateRight90 and RotateLeft90 return.
  BOOL last_unlock = FALSE;
};

enum class LockOutcome {
  kLocked,
  kNotABlock,  // no block, or an empty (discarded) one: nothing to lock
  kNoLock,     // a block, but the lock was refused
};

// Locks h for this call and reads its size. On anything but kLocked nothing
// is held and h is as it was.
LockOutcome LockCallerBlock(HGLOBAL h, CallerBlock* b);

// Gives this call's lock back (if it still holds one).
void UnlockCallerBlock(CallerBlock* b);

// Makes room in the caller's block, locked by this call, for a turned image
// of `new_size` bytes, before any byte of it moves: a block that must grow
// is re-sized (a fixed one only in place) and locked again. False when the
// room cannot be had: the call's lock is then given back and the image is
// untouched (a block that grew but could not be locked again is cut back;
// should that cut fail, only unused bytes are left behind the image).
bool MakeRoomForTurn(CallerBlock* b, SIZE_T new_size);

// Once the turned image is written: gives the call's lock back and cuts a
// block longer than `new_size`. A refused cut leaves only unused bytes
// behind the complete turned image, which still counts as written.
void FinishTurn(CallerBlock* b, SIZE_T new_size);

}  // namespace quadturn

#endif  // QUADTURN_CALLER_BLOCK_H
