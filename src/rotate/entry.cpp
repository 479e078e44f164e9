// The exported operations: open the caller's block with the entry's reader,
// turn the image, and answer as the entry does. RotateRight90 and
// RotateLeft90 report nothing (they return their last unlock);
// RotateQuarterTurns says whether it worked and why not, Win32 style.
#include "dib_layout.h"
#include "rotate.h"

namespace quadturn {
namespace {

BOOL Rotate(HGLOBAL h, Direction direction) {
  CallerBlock b;
  ImageLayout layout;
  if (OpenImage(h, HeaderRules::kRotate90, &b, &layout) == 0) {
    TurnLockedImage(&b, layout, direction == Direction::kRight ? 1 : 3, HeaderRules::kRotate90);
  }
  // The result is the call's last unlock: had before it is read.
  UnlockCallerBlock(&b);
  return b.last_unlock;
}

// RotateQuarterTurns without the last-error bookkeeping: 0 or the error.
DWORD TurnQuarters(HGLOBAL h, int turns) {
  CallerBlock b;
  ImageLayout layout;
  const DWORD error = OpenImage(h, HeaderRules::kQuarterTurns, &b, &layout);
  if (error != 0) return error;
  const int quarters = ((turns % 4) + 4) % 4;
  const Outcome outcome = TurnLockedImage(&b, layout, quarters, HeaderRules::kQuarterTurns);
  return outcome == Outcome::kTurned ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace

DWORD OpenImage(HGLOBAL h, HeaderRules rules, CallerBlock* b, ImageLayout* layout) {
  switch (LockCallerBlock(h, b)) {
    case LockOutcome::kNotABlock: return ERROR_INVALID_HANDLE;
    case LockOutcome::kNoLock: return ERROR_NOT_ENOUGH_MEMORY;
    case LockOutcome::kLocked: break;
  }
  DWORD error = 0;
  if (rules == HeaderRules::kRotate90) {
    if (!ReadStrictLayout(b->bytes, b->size, layout)) error = ERROR_NOT_SUPPORTED;
  } else {
    const LayoutCheck check = ReadGeneralLayout(b->bytes, b->size, layout);
    if (check != LayoutCheck::kOk) {
      error = check == LayoutCheck::kNotSupported ? ERROR_NOT_SUPPORTED : ERROR_INVALID_DATA;
    }
  }
  if (error != 0) UnlockCallerBlock(b);
  return error;
}

}  // namespace quadturn

extern "C" {

BOOL WINAPI RotateRight90(HGLOBAL h) {
  return quadturn::Rotate(h, quadturn::Direction::kRight);
}

BOOL WINAPI RotateLeft90(HGLOBAL h) {
  return quadturn::Rotate(h, quadturn::Direction::kLeft);
}

BOOL WINAPI RotateQuarterTurns(HGLOBAL h, int turns) {
  // The service calls on the way may set the last error; a call that
  // succeeds leaves it as the caller had it.
  const DWORD caller_error = GetLastError();
  const DWORD error = quadturn::TurnQuarters(h, turns);
  SetLastError(error == 0 ? caller_error : error);
  return error == 0 ? TRUE : FALSE;
}

}  // extern "C"
