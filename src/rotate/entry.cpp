// The exported operations: open the caller's block with the entry's reader,
// turn the image, and answer as the entry does. RotateRight90 and
// RotateLeft90 report nothing (they return their last unlock);
// RotateQuarterTurns and RotateFlip, one road, say whether it worked and why
// not, Win32 style.
#include "dib_layout.h"
#include "rotate.h"

namespace quadturn {
namespace {

BOOL Rotate(HGLOBAL h, Orientation turn) {
  CallerBlock b;
  ImageLayout layout;
  if (OpenImage(h, Contract::kRotate90, &b, &layout) == 0) {
    TurnAndRefit(&b, layout, turn, Contract::kRotate90);
  }
  // The result is the call's last unlock: had before it is read.
  UnlockCallerBlock(&b);
  return b.last_unlock;
}

// RotateFlip without the last-error bookkeeping: 0 or the error.
DWORD Orient(HGLOBAL h, Orientation o) {
  CallerBlock b;
  ImageLayout layout;
  const DWORD error = OpenImage(h, Contract::kQuarterTurns, &b, &layout);
  if (error != 0) return error;
  const Outcome outcome = TurnAndRefit(&b, layout, o, Contract::kQuarterTurns);
  return outcome == Outcome::kTurned ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

// The Win32 answer: TRUE, or FALSE with the last error. The service calls
// on the way may set the last error; a call that succeeds leaves it as the
// caller had it.
BOOL Answer(DWORD caller_error, DWORD error) {
  SetLastError(error == 0 ? caller_error : error);
  return error == 0 ? TRUE : FALSE;
}

}  // namespace

DWORD OpenImage(HGLOBAL h, Contract contract, CallerBlock* b, ImageLayout* layout) {
  switch (LockCallerBlock(h, b)) {
    case LockOutcome::kNotABlock: return ERROR_INVALID_HANDLE;
    case LockOutcome::kNoLock: return ERROR_NOT_ENOUGH_MEMORY;
    case LockOutcome::kLocked: break;
  }
  DWORD error = 0;
  if (contract == Contract::kRotate90) {
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
  return quadturn::Rotate(h, quadturn::Orientation::kRight);
}

BOOL WINAPI RotateLeft90(HGLOBAL h) {
  return quadturn::Rotate(h, quadturn::Orientation::kLeft);
}

BOOL WINAPI RotateQuarterTurns(HGLOBAL h, int turns) {
  const DWORD caller_error = GetLastError();
  const int quarters = ((turns % 4) + 4) % 4;
  return quadturn::Answer(caller_error,
                          quadturn::Orient(h, static_cast<quadturn::Orientation>(quarters)));
}

BOOL WINAPI RotateFlip(HGLOBAL h, int type) {
  const DWORD caller_error = GetLastError();
  if (type < 0 || type > 7) return quadturn::Answer(caller_error, ERROR_INVALID_PARAMETER);
  return quadturn::Answer(caller_error, quadturn::Orient(h, static_cast<quadturn::Orientation>(type)));
}

}  // extern "C"
