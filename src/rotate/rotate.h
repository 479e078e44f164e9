// The quarter turns behind RotateRight90 and RotateLeft90 on a caller's
// block.
#ifndef QUADTURN_ROTATE_H
#define QUADTURN_ROTATE_H

#include <cstdint>

#include "caller_block.h"
#include "dib_layout.h"
#include "direction.h"
#include "quadturn.h"

namespace quadturn {

enum class Outcome { kTurned, kUntouched };

// Locks the caller's block h for this call and reads the geometry of the
// image it holds. False when h cannot be locked or holds no image the
// library turns; h is then as it was and b->last_unlock holds the result of
// the unlock, if any.
bool LockTurnable(HGLOBAL h, CallerBlock* b, TurnGeometry* g);

// Turns the packed DIB in h a quarter turn. kUntouched means the block's
// bytes, size and lock count are exactly as on entry and every working block
// is released. *last_unlock receives the result of the call's last
// GlobalUnlock of h (FALSE when h could not be locked at all).
Outcome TurnBlock(HGLOBAL h, Direction direction, BOOL* last_unlock);

}  // namespace quadturn

#endif  // QUADTURN_ROTATE_H
