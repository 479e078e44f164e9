// The eight orientations an image can be given (the symmetries of a
// rectangle), for the turns and the entries alike, and how each maps stored
// pixels.
#ifndef QUADTURN_ORIENTATION_H
#define QUADTURN_ORIENTATION_H

namespace quadturn {

// What is done to the picture, numbered as RotateFlip's types: quarter turns
// clockwise (1-3), and the same followed by a left-right mirror (4-7). Over
// rows stored from the top, pixel (x', y') of the result is pixel (x, y) of
// the image W wide and H high:
//   kNone (x', y')            kMirror     (W-1-x', y')
//   kRight (y', H-1-x')       kTranspose  (y', x')
//   kHalf (W-1-x', H-1-y')    kFlip       (x', H-1-y')
//   kLeft (W-1-y', x')        kTransverse (W-1-y', H-1-x')
enum class Orientation : int {
  kNone, kRight, kHalf, kLeft, kMirror, kTranspose, kFlip, kTransverse
};

// Whether the result's width is the image's height: 1, 3, 5 and 7.
inline bool SwapsAxes(Orientation o) { return (static_cast<int>(o) & 1) != 0; }

// The same change of the picture over rows stored from the bottom, as a
// bottom-up DIB's are: the turns and the transposes trade places with their
// opposites, the mirror, the flip and the half turn stay.
inline Orientation OnRowsFromTheBottom(Orientation o) {
  switch (o) {
    case Orientation::kRight: return Orientation::kLeft;
    case Orientation::kLeft: return Orientation::kRight;
    case Orientation::kTranspose: return Orientation::kTransverse;
    case Orientation::kTransverse: return Orientation::kTranspose;
    default: return o;
  }
}

// How an orientation that swaps the axes moves stored pixels: source row i,
// pixel j goes to row j (width-1-j with reverse_out), pixel i (height-1-i
// with reverse_in). A transpose with the source's rows, or the result's,
// taken from the last one.
struct Transposition {
  bool reverse_in = false;
  bool reverse_out = false;
};

// That of kRight, kLeft, kTranspose or kTransverse over rows from the top.
inline Transposition TranspositionOf(Orientation o) {
  switch (o) {
    case Orientation::kRight: return {true, false};
    case Orientation::kLeft: return {false, true};
    case Orientation::kTransverse: return {true, true};
    default: return {false, false};
  }
}

// How an orientation that keeps the axes moves stored pixels: each row's
// pixels in reverse order (kMirror, kHalf), the rows in reverse order
// (kFlip, kHalf).
struct Reversal {
  bool pixels = false;
  bool rows = false;
};

inline Reversal ReversalOf(Orientation o) {
  return {o == Orientation::kMirror || o == Orientation::kHalf,
          o == Orientation::kFlip || o == Orientation::kHalf};
}

}  // namespace quadturn

#endif  // QUADTURN_ORIENTATION_H
