// The padding of turned rows: what the DIB entries write behind each row's
// pixels (a last byte's unused bits 0, whole bytes the entry's padding byte).
#include <cstring>

#include "turn_parts.h"

namespace quadturn {

void PadRows(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t count, int32_t pixels,
             uint8_t pad) {
  const int64_t used_bits = int64_t{pixels} * bits;
  const std::ptrdiff_t used = static_cast<std::ptrdiff_t>((used_bits + 7) / 8);
  const int partial = static_cast<int>(used_bits % 8);
  // Nothing to pad (a row may have no bytes at all, in any number of rows).
  if (partial == 0 && stride <= used) return;
  const std::ptrdiff_t gap = stride > used ? stride - used : 0;
  for (int32_t r = 0; r < count; ++r) {
    uint8_t* row = rows + r * stride;
    if (partial != 0) row[used - 1] &= static_cast<uint8_t>(0xFF00 >> partial);
    // A DIB row's padding is at most 3 bytes: stored directly, as a call
    // to memset for each row costs more than a short row's pixels.
    if (gap > 3) {
      std::memset(row + used, pad, gap);
    } else {
      if (gap > 0) row[used] = pad;
      if (gap > 1) row[used + 1] = pad;
      if (gap > 2) row[used + 2] = pad;
    }
  }
}

}  // namespace quadturn
