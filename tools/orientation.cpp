// The symmetries of a rectangle as 2 x 2 matrices on a picture's centred
// coordinates (x right, y down): a type turns clockwise its number of
// quarter turns, then (4-7) mirrors left-right.
#include "orientation.h"

#include "quadturn.h"

namespace quadturn::tool {
namespace {

struct Matrix {
  int a, b, c, d;  // (x, y) -> (a x + b y, c x + d y)
  bool operator==(const Matrix& o) const { return a == o.a && b == o.b && c == o.c && d == o.d; }
};

// m, then n.
Matrix Then(const Matrix& m, const Matrix& n) {
  return {n.a * m.a + n.b * m.c, n.a * m.b + n.b * m.d, n.c * m.a + n.d * m.c,
          n.c * m.b + n.d * m.d};
}

Matrix MatrixOf(int type) {
  const Matrix kQuarter = {0, -1, 1, 0};  // the top goes to the right
  const Matrix kMirror = {-1, 0, 0, 1};
  Matrix m = {1, 0, 0, 1};
  for (int k = 0; k < (type & 3); ++k) m = Then(m, kQuarter);
  return type >= 4 ? Then(m, kMirror) : m;
}

int TypeOf(const Matrix& m) {
  for (int t = 0; t < 8; ++t) {
    if (MatrixOf(t) == m) return t;
  }
  return 0;
}

}  // namespace

int Compose(int first, int then) { return TypeOf(Then(MatrixOf(first), MatrixOf(then))); }

int Inverse(int type) {
  for (int t = 0; t < 8; ++t) {
    if (Compose(type, t) == 0) return t;
  }
  return 0;
}

int TypeOfTag(int orientation) { return QuadturnUprightType(orientation); }

int TagOfType(int type) {
  for (int o = 1; o <= 8; ++o) {
    if (TypeOfTag(o) == type) return o;
  }
  return 1;
}

}  // namespace quadturn::tool
