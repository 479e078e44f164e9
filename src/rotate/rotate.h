// The quarter turns behind RotateRight90 and RotateLeft90 on a caller's
// block, and the grey working-image road kept as the reference for 1 bit.
#ifndef QUADTURN_ROTATE_H
#define QUADTURN_ROTATE_H

#include <cstdint>

#include "caller_block.h"
#include "dib_layout.h"
#include "quadturn.h"

namespace quadturn {

enum class Direction { kRight, kLeft };  // clockwise, counter-clockwise

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

// The reference road for 1-bit images: widen to a grey working image, turn
// that on the 8-bit road, pack it back. Gives the same bytes as TurnBlock
// with sixteen times the memory; kept to test the direct bit turn against.
Outcome TurnOneBitThroughGrey(HGLOBAL h, Direction direction, BOOL* last_unlock);

// A new grey 8-bit working image made from the 1-bit image in h (checked by
// ReadTurnGeometry): 256 grey entries, rows at byte 1064, 0xFF for a set bit
// and 0x00 for a clear one. NULL when a block or a lock cannot be had.
HGLOBAL Expand1To8(HGLOBAL h);

// A new 1-bit image packed from the grey working image in g: black-then-white
// table, rows at byte 48, a bit set wherever the grey byte is not 0, padding
// bits 0. NULL when a block or a lock cannot be had.
HGLOBAL Pack8To1(HGLOBAL g);

}  // namespace quadturn

#endif  // QUADTURN_ROTATE_H
