// One-bit images: not turned yet; left exactly as they are.
#include "rotate.h"

namespace quadturn {

Outcome TurnOneBit(HGLOBAL h, uint8_t*, SIZE_T, const TurnGeometry&, Direction,
                   BOOL* last_unlock) {
  *last_unlock = GlobalUnlock(h);
  return Outcome::kUntouched;
}

}  // namespace quadturn
