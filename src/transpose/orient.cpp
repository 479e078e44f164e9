// Every orientation of raw rows by one road: those that exchange the axes
// by the transposes, the others by the reversals, out of place or inside
// the image's own rows.
#include "turns.h"

namespace quadturn {

std::size_t OrientRowsBufferBytes(int bits, int32_t width, int32_t height, Orientation o) {
  return SwapsAxes(o) ? TurnRowsBufferBytes(bits, width, height) : 0;
}

void OrientRows(int bits, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
                std::ptrdiff_t dst_stride, int32_t width, int32_t height, Orientation o,
                TurnBuffer buffer) {
  if (SwapsAxes(o)) {
    TurnRect(FormatOf(bits), src, src_stride, dst, dst_stride, width, height, TranspositionOf(o),
             buffer);
  } else {
    ReverseRows(bits, src, src_stride, dst, dst_stride, width, height, ReversalOf(o));
  }
}

std::size_t OrientInPlaceBufferBytes(int bits, int32_t width, int32_t height, Orientation o) {
  return SwapsAxes(o) ? TurnInPlaceBufferBytes(bits, width, height, TranspositionOf(o)) : 0;
}

void OrientInPlace(int bits, uint8_t* rows, std::ptrdiff_t src_stride, std::ptrdiff_t dst_stride,
                   int32_t width, int32_t height, Orientation o, uint8_t pad, TurnBuffer buffer) {
  if (SwapsAxes(o)) {
    TurnInPlace(bits, rows, src_stride, dst_stride, width, height, TranspositionOf(o), pad,
                buffer);
  } else {
    ReverseInPlace(bits, rows, src_stride, width, height, ReversalOf(o), pad);
  }
}

}  // namespace quadturn
