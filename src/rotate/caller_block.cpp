// Borrowing the caller's block and re-sizing it around a turn.
#include "caller_block.h"

namespace quadturn {
namespace {

// Locks the block again after a re-size (it may have moved).
bool Relock(CallerBlock* b) {
  b->bytes = static_cast<uint8_t*>(GlobalLock(b->handle));
  return b->bytes != nullptr;
}

// Movable blocks may move when re-sized; fixed ones must stay put.
UINT ResizeFlags(const CallerBlock* b) { return b->fixed ? 0u : static_cast<UINT>(GMEM_MOVEABLE); }

}  // namespace

CallerBlock::~CallerBlock() { UnlockCallerBlock(this); }

LockOutcome LockCallerBlock(HGLOBAL h, CallerBlock* b) {
  UnlockCallerBlock(b);
  b->handle = h;
  b->size = 0;
  b->fixed = false;
  b->counted = true;
  b->last_unlock = FALSE;
  const UINT flags = GlobalFlags(h);
  if ((flags & (GMEM_INVALID_HANDLE | GMEM_DISCARDED)) != 0) return LockOutcome::kNotABlock;
  b->counted = (flags & GMEM_LOCKCOUNT) < GMEM_LOCKCOUNT;
  if (!Relock(b)) return LockOutcome::kNoLock;
  b->fixed = b->bytes == static_cast<void*>(h);
  b->size = GlobalSize(h);
  // A caller at the saturated count still holds its locks afterwards.
  b->last_unlock = TRUE;
  return LockOutcome::kLocked;
}

void UnlockCallerBlock(CallerBlock* b) {
  if (b->bytes == nullptr) return;
  if (b->counted) b->last_unlock = GlobalUnlock(b->handle);
  b->bytes = nullptr;
}

bool MakeRoomForTurn(CallerBlock* b, SIZE_T new_size) {
  if (new_size <= b->size) return true;
  const UINT flags = ResizeFlags(b);
  UnlockCallerBlock(b);
  if (GlobalReAlloc(b->handle, new_size, flags) != b->handle) return false;
  if (!Relock(b)) {
    // Its first bytes are still the untouched image.
    GlobalReAlloc(b->handle, b->size, flags);
    return false;
  }
  return true;
}

void FinishTurn(CallerBlock* b, SIZE_T new_size) {
  UnlockCallerBlock(b);
  if (new_size < b->size) GlobalReAlloc(b->handle, new_size, ResizeFlags(b));
}

}  // namespace quadturn
