// The caller's block while a call borrows it: locking it without disturbing
// the caller's own lock count, and writing a turned image back into it so
// that any failing service call leaves either the untouched image or the
// whole turned one, never a mixture.
#ifndef QUADTURN_CALLER_BLOCK_H
#define QUADTURN_CALLER_BLOCK_H

#include <cstdint>

#include "quadturn.h"

namespace quadturn {

struct CallerBlock {
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
  // original operations return.
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

// Gives this call's lock back (if it holds one).
void UnlockCallerBlock(CallerBlock* b);

// One piece of a turned image, copied to `offset` in the caller's block from
// `bytes`, or, when `bytes` is null, moved there from offset `from` of the
// block itself (as it is when the piece is written).
struct Piece {
  SIZE_T offset;
  const uint8_t* bytes;
  SIZE_T length;
  SIZE_T from = 0;
};

// Writes `pieces` into the caller's block, locked by this call, and gives it
// the size `new_size`; the call's lock is given back either way. A block
// that shrinks is written first and cut after: if the cut fails, the turned
// image is complete with unused bytes behind it, and that still counts as
// written. A block that grows is re-sized first and written after: if the
// re-size fails, or the block cannot be locked again (it is then cut back),
// false is returned and the image is untouched. Pieces must fit in new_size
// and are written in order; a moved piece must come before any piece that
// overwrites where it was.
bool CommitTurnedImage(CallerBlock* b, SIZE_T new_size, const Piece* pieces,
                       int piece_count);

}  // namespace quadturn

#endif  // QUADTURN_CALLER_BLOCK_H
