// The turns and transposes out of place: a transpose with the source or the
// destination (or both) read from its last row, and the turned rows' padding.
#include <cstring>

#include "turns.h"

namespace quadturn {

void PadRows(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t count, int32_t pixels,
             uint8_t pad) {
  const int64_t used_bits = int64_t{pixels} * bits;
  const std::ptrdiff_t used = static_cast<std::ptrdiff_t>((used_bits + 7) / 8);
  const int partial = static_cast<int>(used_bits % 8);
  // Nothing to pad (a row may have no bytes at all, in any number of rows).
  if (partial == 0 && stride <= used) return;
  for (int32_t r = 0; r < count; ++r) {
    uint8_t* row = rows + r * stride;
    if (partial != 0) row[used - 1] &= static_cast<uint8_t>(0xFF00 >> partial);
    if (stride > used) std::memset(row + used, pad, stride - used);
  }
}

void TurnRect(Format f, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
              std::ptrdiff_t dst_stride, int32_t w, int32_t h, Transposition t,
              TurnBuffer buffer) {
  if (w <= 0 || h <= 0) return;
  // A transpose of source rows taken from the last one up, into rows taken
  // from the last one up, as `t` says.
  if (t.reverse_in) {
    src += (h - 1) * src_stride;
    src_stride = -src_stride;
  }
  if (t.reverse_out) {
    dst += (w - 1) * dst_stride;
    dst_stride = -dst_stride;
  }
  Transpose(f, src, src_stride, dst, dst_stride, w, h, buffer);
}

void TurnRows(int bits, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
              std::ptrdiff_t dst_stride, int32_t width, int32_t height, Transposition t,
              uint8_t pad, TurnBuffer buffer) {
  TurnRect(FormatOf(bits), src, src_stride, dst, dst_stride, width, height, t, buffer);
  PadRows(bits, dst, dst_stride, width, height, pad);
}

}  // namespace quadturn
