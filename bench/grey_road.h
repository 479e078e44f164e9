// The reference road for 1-bit images, as they were first defined: widen to
// a grey 8-bit working image, turn that, pack it back to one bit. Timed
// beside the direct bit turn, through the public API alone.
#ifndef QUADTURN_BENCH_GREY_ROAD_H
#define QUADTURN_BENCH_GREY_ROAD_H

#include "quadturn.h"

namespace quadturn::bench {

// Turns the 1-bit image in h (a 40-byte header, a two-entry table, rows
// from the bottom) a quarter turn clockwise through grey: widened into a
// working block, turned into another by RotateFlipPixels, packed back into
// h re-sized to fit. False where a block cannot be had (h as it was).
bool TurnThroughGrey(HGLOBAL h);

}  // namespace quadturn::bench

#endif  // QUADTURN_BENCH_GREY_ROAD_H
