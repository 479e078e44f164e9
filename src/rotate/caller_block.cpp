// Borrowing the caller's block and writing the turned image back into it.
#include "caller_block.h"

#include <cstring>

namespace quadturn {
namespace {

// Locks the block again after a re-size (it may have moved).
bool Relock(CallerBlock* b) {
  b->bytes = static_cast<uint8_t*>(GlobalLock(b->handle));
  return b->bytes != nullptr;
}

void WritePieces(uint8_t* to, const Piece* pieces, int piece_count) {
  for (int i = 0; i < piece_count; ++i) {
    const Piece& p = pieces[i];
    if (p.length == 0) continue;
    if (p.bytes == nullptr) {
      std::memmove(to + p.offset, to + p.from, p.length);
    } else {
      std::memcpy(to + p.offset, p.bytes, p.length);
    }
  }
}

}  // namespace

LockOutcome LockCallerBlock(HGLOBAL h, CallerBlock* b) {
  *b = CallerBlock{};
  b->handle = h;
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

bool CommitTurnedImage(CallerBlock* b, SIZE_T new_size, const Piece* pieces,
                       int piece_count) {
  // Movable blocks may move when re-sized; fixed ones must stay put.
  const UINT flags = b->fixed ? 0u : static_cast<UINT>(GMEM_MOVEABLE);
  if (new_size <= b->size) {
    WritePieces(b->bytes, pieces, piece_count);
    UnlockCallerBlock(b);
    // A failed cut only leaves slack behind the complete turned image.
    if (new_size < b->size) GlobalReAlloc(b->handle, new_size, flags);
    return true;
  }
  UnlockCallerBlock(b);
  if (GlobalReAlloc(b->handle, new_size, flags) != b->handle) return false;
  if (!Relock(b)) {
    // The block grew but cannot be reached: cut it back to what it was. Its
    // first bytes are still the untouched image; should the cut fail too,
    // only unused bytes are left behind it.
    GlobalReAlloc(b->handle, b->size, flags);
    return false;
  }
  WritePieces(b->bytes, pieces, piece_count);
  UnlockCallerBlock(b);
  return true;
}

}  // namespace quadturn
