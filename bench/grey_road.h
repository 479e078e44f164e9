// The reference road for 1-bit images, as they were first defined: widen to
// a grey 8-bit working image, turn that on the 8-bit road, pack it back to
// one bit. The direct bit turn must give the same block byte for byte.
#ifndef QUADTURN_TESTS_GREY_ROAD_H
#define QUADTURN_TESTS_GREY_ROAD_H

#include "quadturn.h"
#include "rotate.h"

namespace quadturn {

// Turns the 1-bit image in h through the grey road; the result keeps the
// caller's two colours and resolutions, as the direct turn does. Any failure
// leaves the block as it was. *last_unlock: the call's last GlobalUnlock.
Outcome TurnOneBitThroughGrey(HGLOBAL h, Orientation turn, BOOL* last_unlock);

// A new grey 8-bit working image made from the 1-bit image in h: 256 grey
// entries, rows at byte 1064, 0xFF for a set bit and 0x00 for a clear one.
// NULL when a block or a lock cannot be had, or the copy would pass 2^31.
HGLOBAL Expand1To8(HGLOBAL h);

// A new 1-bit image packed from the grey working image in g: black-then-white
// table, rows at byte 48, a bit set wherever the grey byte is not 0, padding
// bits 0. NULL when a block or a lock cannot be had.
HGLOBAL Pack8To1(HGLOBAL g);

}  // namespace quadturn

#endif  // QUADTURN_TESTS_GREY_ROAD_H
