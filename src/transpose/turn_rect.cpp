// A rectangle turned, transposed or transversed into other memory: the
// transpose with the source or the destination (or both) read from its last
// row.
#include "turn_parts.h"

namespace quadturn {

void TurnRect(Format f, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
              std::ptrdiff_t dst_stride, int32_t w, int32_t h, Transposition t,
              TurnBuffer buffer, Output output) {
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
  Transpose(f, src, src_stride, dst, dst_stride, w, h, buffer, output);
}

}  // namespace quadturn
