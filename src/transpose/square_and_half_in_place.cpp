// The orientations that keep the image's shape, inside its own rows: a
// square's quarter turns, transpose and transverse, and any mirror, flip or
// half turn.
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

#include "turns.h"

namespace quadturn {
namespace {

// Tile edges for the in-place turns, per format; a tile's buffer is at most
// 64 KiB. Measured: 256 at 8 bits and 128 at 24 bits beat smaller tiles.
constexpr int kSquareTile[kFormatCount] = {512, 256, 256, 128, 128, 128};

// Bytes that hold `h` rows of `w` pixels of format f, each row in whole bytes.
std::size_t RectBytes(Format f, int32_t w, int32_t h) {
  return static_cast<std::size_t>(RowBytes(f, w)) * static_cast<std::size_t>(h);
}

// The saved tile of a four-tile cycle over an n x n square (whole-byte pixels).
std::size_t SavedTileBytes(Format f, int32_t n) {
  const int tile = kSquareTile[static_cast<int>(f)];
  const int32_t h2 = n / 2, w2 = n - h2;
  return RectBytes(f, std::min(tile, w2), std::min(tile, h2));
}

// The tile pairs of a transposed n x n square (1- and 4-bit pixels).
std::size_t PairBufferBytes(Format f, int32_t n) {
  const int32_t tile = std::min(kSquareTile[static_cast<int>(f)], n);
  return RectBytes(f, tile, tile);
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
  const int tile = kSquareTile[static_cast<int>(f)];
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
  const int tile = kSquareTile[static_cast<int>(f)];
  const std::ptrdiff_t line = RowBytes(f, std::min(tile, n));
  auto at = [&](int32_t row, int32_t column) { return rows + row * stride + Span(f, column); };
  for (int32_t a = 0; a < n; a += tile) {
    const int32_t ha = std::min(tile, n - a);
    for (int32_t b = a; b < n; b += tile) {
      const int32_t wb = std::min(tile, n - b);
      // x: rows [a, a+ha), columns [b, b+wb); y: rows [b, b+wb), columns [a, a+ha).
      uint8_t* x = at(a, b);
      uint8_t* y = at(b, a);
      Transpose(f, x, stride, buffer, line, wb, ha, TurnBuffer{});
      if (a != b) Transpose(f, y, stride, x, stride, ha, wb, TurnBuffer{});
      CopyRect(f, buffer, line, y, stride, ha, wb);
    }
  }
}

void ReverseRowOrder(uint8_t* rows, std::ptrdiff_t stride, int32_t count) {
  uint8_t buffer[4096];
  for (int32_t r = 0; r < count / 2; ++r) {
    uint8_t* a = rows + r * stride;
    uint8_t* b = rows + (count - 1 - r) * stride;
    for (std::ptrdiff_t k = 0; k < stride; k += sizeof buffer) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::ptrdiff_t>(sizeof buffer, stride - k));
      std::memcpy(buffer, a + k, n);
      std::memcpy(a + k, b + k, n);
      std::memcpy(b + k, buffer, n);
    }
  }
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// Eight bytes of 1- or 4-bit pixels with their pixels in reverse order:
// the bytes reversed, then the pixels within each byte.
inline uint64_t ReverseSmall(int bits, uint64_t v) {
  v = __builtin_bswap64(v);
  if (bits == 1) {
    v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
    v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
  }
  return ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
}

inline uint8_t ReverseSmall(int bits, uint8_t b) {
  return static_cast<uint8_t>(ReverseSmall(bits, uint64_t{b} << 56));
}

// Reverses the order of the `width` pixels of a row of 1- or 4-bit pixels:
// reverse the bytes and the pixels within each (eight bytes from each end at
// a time), then shift the row towards its start by the unused bits the
// reversal brought to the front.
void ReverseSmallPixels(int bits, uint8_t* row, int32_t width) {
  const int64_t used_bits = int64_t{width} * bits;
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>((used_bits + 7) / 8);
  std::ptrdiff_t i = 0;
  for (; 2 * (i + 8) <= n; i += 8) {
    const uint64_t a = Load64(row + i), b = Load64(row + n - i - 8);
    Store64(row + i, ReverseSmall(bits, b));
    Store64(row + n - i - 8, ReverseSmall(bits, a));
  }
  for (; i < n / 2; ++i) {
    const uint8_t a = row[i];
    row[i] = ReverseSmall(bits, row[n - 1 - i]);
    row[n - 1 - i] = ReverseSmall(bits, a);
  }
  if (n % 2 != 0) row[n / 2] = ReverseSmall(bits, row[n / 2]);
  const int shift = static_cast<int>(n * 8 - used_bits);
  if (shift == 0) return;
  // Pixels run from each byte's most significant bit: eight bytes read as a
  // big-endian word shift as one.
  std::ptrdiff_t k = 0;
  for (; k + 8 < n; k += 8) {
    const uint64_t word = __builtin_bswap64(Load64(row + k));
    Store64(row + k, __builtin_bswap64((word << shift) | (row[k + 8] >> (8 - shift))));
  }
  for (; k < n; ++k) {
    const unsigned next = k + 1 < n ? row[k + 1] : 0u;
    row[k] = static_cast<uint8_t>((row[k] << shift) | (next >> (8 - shift)));
  }
}

// The pixels of eight bytes (as stored, little-endian) in reverse order, for
// pixels of 1, 2 and 4 bytes.
template <int kPixelBytes>
inline uint64_t ReversePixels(uint64_t v) {
  if (kPixelBytes == 4) return (v << 32) | (v >> 32);
  v = __builtin_bswap64(v);
  if (kPixelBytes == 2) v = ((v >> 8) & 0x00FF00FF00FF00FFull) | ((v & 0x00FF00FF00FF00FFull) << 8);
  return v;
}

template <int kPixelBytes>
inline void SwapPixels(uint8_t* a, uint8_t* b) {
  uint8_t t[kPixelBytes];
  std::memcpy(t, a, kPixelBytes);
  std::memcpy(a, b, kPixelBytes);
  std::memcpy(b, t, kPixelBytes);
}

// Row a's pixels reversed into row b and b's into a: pixel x of one trades
// places with pixel width-1-x of the other, eight bytes at a time where the
// pixel size divides eight. With a and b the same row, its pixels reverse
// (the first half trades places with the second).
template <int kPixelBytes>
void SwapReversed(uint8_t* a, uint8_t* b, int32_t width) {
  const int32_t count = a == b ? width / 2 : width;
  int32_t x = 0;
  if (8 % kPixelBytes == 0) {
    constexpr int32_t kPerWord = 8 / kPixelBytes;
    for (; x + kPerWord <= count; x += kPerWord) {
      uint8_t* pa = a + x * kPixelBytes;
      uint8_t* pb = b + (width - x - kPerWord) * kPixelBytes;
      const uint64_t va = Load64(pa), vb = Load64(pb);
      Store64(pa, ReversePixels<kPixelBytes>(vb));
      Store64(pb, ReversePixels<kPixelBytes>(va));
    }
  }
  for (; x < count; ++x) SwapPixels<kPixelBytes>(a + x * kPixelBytes, b + (width - 1 - x) * kPixelBytes);
}

template <int kPixelBytes>
void HalfTurnBytes(uint8_t* rows, std::ptrdiff_t stride, int32_t width, int32_t height) {
  for (int32_t r = 0; r < height / 2; ++r) {
    SwapReversed<kPixelBytes>(rows + r * stride, rows + (height - 1 - r) * stride, width);
  }
  uint8_t* middle = rows + (height / 2) * stride;
  if (height % 2 != 0) SwapReversed<kPixelBytes>(middle, middle, width);
}

}  // namespace

std::size_t TurnSquareBufferBytes(int bits, int32_t size, Transposition t) {
  const Format f = FormatOf(bits);
  if (size <= 0) return 0;
  // Tile pairs across a diagonal: 1- and 4-bit squares, and every transpose.
  if (bits < 8 || t.reverse_in == t.reverse_out) return PairBufferBytes(f, size);
  if (size == 1) return 0;  // a centre pixel alone stays put
  // The transposes inside the cycles turn tiles as large as the saved one.
  const int32_t tile = std::min(kSquareTile[static_cast<int>(f)], size / 2);
  return TurnBufferRoundUp(SavedTileBytes(f, size)) + TurnRowsBufferBytes(bits, tile, tile);
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

void ReverseInPlace(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t width,
                    int32_t height, Reversal r, uint8_t pad) {
  // No pixels, however many rows or columns of none: nothing moves, and a
  // row without pixels has no bytes to pad.
  if (width == 0 || height == 0 || (!r.pixels && !r.rows)) return;
  if (!r.pixels) {
    ReverseRowOrder(rows, stride, height);
  } else if (!r.rows || bits < 8) {
    // Each row's pixels in place, then (a half turn of small pixels) the
    // rows' order.
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* row = rows + y * stride;
      switch (bits) {
        case 8: SwapReversed<1>(row, row, width); break;
        case 16: SwapReversed<2>(row, row, width); break;
        case 24: SwapReversed<3>(row, row, width); break;
        case 32: SwapReversed<4>(row, row, width); break;
        default: ReverseSmallPixels(bits, row, width); break;
      }
    }
    if (r.rows) ReverseRowOrder(rows, stride, height);
  } else {
    switch (bits) {
      case 8: HalfTurnBytes<1>(rows, stride, width, height); break;
      case 16: HalfTurnBytes<2>(rows, stride, width, height); break;
      case 24: HalfTurnBytes<3>(rows, stride, width, height); break;
      default: HalfTurnBytes<4>(rows, stride, width, height); break;
    }
  }
  PadRows(bits, rows, stride, height, width, pad);
}

}  // namespace quadturn
