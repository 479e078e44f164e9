// The sample chart's picture: a frame, an "F" and an arrow pointing up on
// 96 x 64 pixels, so that a person can see at a glance which way an image
// was turned.
#ifndef QUADTURN_SAMPLES_CHART_H
#define QUADTURN_SAMPLES_CHART_H

namespace quadturn::samples {

constexpr int kWidth = 96;
constexpr int kHeight = 64;

enum Ink { kPaper, kInk, kMark };

// What lies at (x, y), y counted from the top of the picture.
inline Ink InkAt(int x, int y) {
  if (x == 0 || y == 0 || x == kWidth - 1 || y == kHeight - 1) return kInk;
  if (x >= 3 && x < 7 && y >= 3 && y < 7) return kMark;  // top-left corner
  const bool f = (x >= 10 && x < 20 && y >= 8 && y < 56) ||
                 (x >= 10 && x < 48 && y >= 8 && y < 18) ||
                 (x >= 10 && x < 40 && y >= 28 && y < 36);
  const bool shaft = x >= 70 && x < 78 && y >= 22 && y < 56;
  const int half = (y - 8) + 1;  // arrow head widens downwards from y = 8
  const bool head = y >= 8 && y < 22 && x >= 74 - half && x < 74 + half;
  return f || shaft || head ? kInk : kPaper;
}

}  // namespace quadturn::samples

#endif  // QUADTURN_SAMPLES_CHART_H
