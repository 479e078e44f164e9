// Which way a quarter turn goes, for the kernels and the entries alike.
#ifndef QUADTURN_DIRECTION_H
#define QUADTURN_DIRECTION_H

namespace quadturn {

// Clockwise and counter-clockwise, for the picture as displayed from
// bottom-up rows: stored row i, position j of an image W wide and H high goes
// to stored row W-1-j, position i (kRight) or row j, position H-1-i (kLeft).
enum class Direction { kRight, kLeft };

inline Direction Opposite(Direction d) {
  return d == Direction::kRight ? Direction::kLeft : Direction::kRight;
}

}  // namespace quadturn

#endif  // QUADTURN_DIRECTION_H
