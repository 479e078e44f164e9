// A square's quarter turns, transpose and transverse inside its own rows.
//
// A square of whole-byte pixels turns in groups of four tiles that trade
// places: one is saved in the turn's buffer, the other three are turned
// by the ordinary transpose into the place the turn sends them (source and
// destination never overlap), and the saved one last. Pixels of 1 and 4 bits
// do not stay on byte boundaries that way, so a square of them is
// transposed in place (tile pairs across the diagonal trade places) and its
// rows reversed. A transpose is that pair exchange alone, and a transverse
// the same over the rows taken from the last one up.
#include <algorithm>
#include <cstring>

#include "turn_parts.h"

namespace quadturn {
namespace {

// Tile edges for the in-place turns, per format: a tile's buffer is at most
// 64 KiB, and the largest tile within that moves each line of the square
// fewest times (BENCHMARKS.md, "Squares").
int SquareTileOf(Format f) {
  if (f.bits == 1) return 512;
  if (f.bits <= 8) return 256;
  const int n = f.bits / 8;
  return n <= 4 ? 128 : n <= 16 ? 64 : 32;
}

// Bytes that hold `h` rows of `w` pixels of format f, each row in whole bytes.
std::size_t RectBytes(Format f, int32_t w, int32_t h) {
  return static_cast<std::size_t>(RowBytes(f, w)) * static_cast<std::size_t>(h);
}

// The saved tile of a four-tile cycle over an n x n square (whole-byte pixels).
std::size_t SavedTileBytes(Format f, int32_t n) {
  const int tile = SquareTileOf(f);
  const int32_t h2 = n / 2, w2 = n - h2;
  return RectBytes(f, std::min(tile, w2), std::min(tile, h2));
}

// The tile pairs of a transposed n x n square: one tile saved, and the
// transposes' staging behind it.
std::size_t PairBufferBytes(Format f, int32_t n) {
  const int32_t tile = std::min(SquareTileOf(f), n);
  return TurnBufferRoundUp(RectBytes(f, tile, tile)) + TransposeBufferBytes(BitsOf(f), tile, tile);
}

void CopyRect(Format f, const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst, std::ptrdiff_t ds,
              int32_t w, int32_t h) {
  const std::ptrdiff_t bytes = RowBytes(f, w);
  for (int32_t r = 0; r < h; ++r) std::memcpy(dst + r * ds, src + r * ss, bytes);
}

// The square's pixels fall into four regions that a quarter turn R cycles:
// A (rows [0,h2), columns [0,w2)) goes to B = R(A), B to C, C to D, D to A,
// with h2 = n/2 and w2 = n - h2; an odd square's centre stays put. Each tile
// t of A and its images R(t), R²(t), R³(t) form one group of four. `turn`
// is a quarter turn's transposition (one of its reversals, not both).
// The saved tile comes first in `buffer`; the transposes stage theirs behind it.
void FourCycle(Format f, uint8_t* rows, std::ptrdiff_t stride, int32_t n, Transposition turn,
               TurnBuffer buffer) {
  uint8_t* saved = buffer.bytes;
  const std::size_t saved_bytes = TurnBufferRoundUp(SavedTileBytes(f, n));
  const TurnBuffer stage = {buffer.bytes + saved_bytes, buffer.size - saved_bytes};
  const int tile = SquareTileOf(f);
  const int32_t h2 = n / 2, w2 = n - h2;
  auto at = [&](int32_t row, int32_t column) { return rows + row * stride + Span(f, column); };
  for (int32_t r0 = 0; r0 < h2; r0 += tile) {
    const int32_t th = std::min(tile, h2 - r0);
    for (int32_t c0 = 0; c0 < w2; c0 += tile) {
      const int32_t tw = std::min(tile, w2 - c0);
      const std::ptrdiff_t line = Span(f, tw);
      // t: th rows of tw pixels; R(t) and R³(t): tw rows of th; R²(t) as t.
      uint8_t* t = at(r0, c0);
      uint8_t* rt = at(n - c0 - tw, r0);
      uint8_t* r2t = at(n - r0 - th, n - c0 - tw);
      uint8_t* r3t = at(c0, n - r0 - th);
      CopyRect(f, t, stride, saved, line, tw, th);
      if (turn.reverse_out) {
        // The turn sends each tile's pixels to the next tile of the group.
        TurnRect(f, r3t, stride, t, stride, th, tw, turn, stage);
        TurnRect(f, r2t, stride, r3t, stride, tw, th, turn, stage);
        TurnRect(f, rt, stride, r2t, stride, th, tw, turn, stage);
        TurnRect(f, saved, line, rt, stride, tw, th, turn, stage);
      } else {
        // ... and to the one before it.
        TurnRect(f, rt, stride, t, stride, th, tw, turn, stage);
        TurnRect(f, r2t, stride, rt, stride, tw, th, turn, stage);
        TurnRect(f, r3t, stride, r2t, stride, th, tw, turn, stage);
        TurnRect(f, saved, line, r3t, stride, tw, th, turn, stage);
      }
    }
  }
}

// Transposes a square in place: each pair of tiles across the diagonal
// trades places (through the buffer), each tile on it is transposed through
// the buffer too. Tiles start on whole bytes.
void TransposeSquare(Format f, uint8_t* rows, std::ptrdiff_t stride, int32_t n,
                     TurnBuffer work) {
  uint8_t* buffer = work.bytes;
  const int tile = SquareTileOf(f);
  const std::ptrdiff_t line = RowBytes(f, std::min(tile, n));
  const std::size_t saved = TurnBufferRoundUp(RectBytes(f, std::min(tile, n), std::min(tile, n)));
  const TurnBuffer stage = work.size > saved ? TurnBuffer{work.bytes + saved, work.size - saved}
                                             : TurnBuffer{};
  auto at = [&](int32_t row, int32_t column) { return rows + row * stride + Span(f, column); };
  for (int32_t a = 0; a < n; a += tile) {
    const int32_t ha = std::min(tile, n - a);
    for (int32_t b = a; b < n; b += tile) {
      const int32_t wb = std::min(tile, n - b);
      // x: rows [a, a+ha), columns [b, b+wb); y: rows [b, b+wb), columns [a, a+ha).
      uint8_t* x = at(a, b);
      uint8_t* y = at(b, a);
      Transpose(f, x, stride, buffer, line, wb, ha, stage);
      if (a != b) Transpose(f, y, stride, x, stride, ha, wb, stage);
      CopyRect(f, buffer, line, y, stride, ha, wb);
    }
  }
}

}  // namespace

std::size_t SquareInPlaceBufferBytes(int bits, int32_t size, Transposition t) {
  const Format f = FormatOf(bits);
  if (size <= 0) return 0;
  // Tile pairs across a diagonal: 1- and 4-bit squares, and every transpose.
  if (bits < 8 || t.reverse_in == t.reverse_out) return PairBufferBytes(f, size);
  if (size == 1) return 0;  // a centre pixel alone stays put
  // The transposes inside the cycles turn tiles as large as the saved one.
  const int32_t tile = std::min(SquareTileOf(f), size / 2);
  return TurnBufferRoundUp(SavedTileBytes(f, size)) + TransposeBufferBytes(bits, tile, tile);
}

void TurnSquareInPlace(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t size,
                       Transposition t, uint8_t pad, TurnBuffer buffer) {
  const Format f = FormatOf(bits);
  if (t.reverse_in == t.reverse_out) {
    // A transverse is the transpose of the rows taken from the last one up.
    if (t.reverse_in) {
      TransposeSquare(f, rows + (size - 1) * stride, -stride, size, buffer);
    } else {
      TransposeSquare(f, rows, stride, size, buffer);
    }
  } else if (bits >= 8) {
    FourCycle(f, rows, stride, size, t, buffer);
  } else if (t.reverse_out) {
    // Transpose, then the rows from the last one up.
    TransposeSquare(f, rows, stride, size, buffer);
    ReverseRowOrder(rows, stride, size);
  } else {
    ReverseRowOrder(rows, stride, size);
    TransposeSquare(f, rows, stride, size, buffer);
  }
  PadRows(bits, rows, stride, size, size, pad);
}

}  // namespace quadturn
