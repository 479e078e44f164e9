// A quarter turn, transpose or transverse of any rectangle inside its own
// rows, with working memory of a few turned rows and columns instead of a
// second image.
//
// The source falls into a core of whole t x t tiles and two thin strips: the
// columns right of the core, and the rows below it (where the source rows
// are taken from the top) or above it (from the bottom), chosen so that in
// every transposition the core's pixels start every turned row and stay on
// whole bytes. The strips are turned into the
// buffer first; then three passes move the core:
//  1. pack: each band of t source rows is turned into the buffer and written
//     back densely from the start of the rows, as a run of turned tiles of
//     t x t pixels ("chunks"), each holding t turned rows' t pixels;
//  2. sort: the chunks trade places, cycle by cycle, until the chunks of
//     each band of t turned rows lie side by side in source band order;
//  3. spread: from the last band to the first, a band's chunks go to the
//     buffer and out to the turned rows at their stride (last first where
//     the source rows are taken from the bottom), the strip's pixels
//     behind them.
// Nothing is written before it is read: packing moves data towards the
// start (the source stride is at least the packed one), spreading towards
// the end (the turned stride is at least a band's packed row), and the
// turned right strip is written last. A square keeps its shape and turns
// in groups of four tiles instead (square_in_place.cpp); orient.cpp
// chooses between the two.
#include <algorithm>
#include <cstring>

#include "turn_parts.h"

namespace quadturn {
namespace {

// Chunk sides per format: a chunk's row is 64 to 128 bytes, a cache line
// or more (whole bytes below 8 bits): smaller chunks make the sort's moves
// short, larger ones a band's buffer outgrow the cache (BENCHMARKS.md,
// "In place"). Wider pixels take the largest side whose row is at most 128
// bytes.
int ChunkOf(Format f) {
  if (f.bits < 8) return 512 / f.bits;
  const int n = f.bits / 8;
  if (n == 1) return 64;
  if (n <= 4) return 32;
  int side = 16;
  while (side * n > 128) side /= 2;
  return side;
}
// The least chunk sides: rows of whole bytes. A small image halves its
// chunks until its buffer is no larger than the image itself.
int LeastChunkOf(Format f) { return f.bits < 8 ? 8 / f.bits : 1; }

// Copies a chunk's row inline, 16 bytes at a time (the rest, in a small
// image's chunks, through memcpy): the spread copies millions of them, and
// a library call each (an import on Windows) costs more than the copy.
inline void CopySegment(uint8_t* to, const uint8_t* from, std::ptrdiff_t n) {
  std::ptrdiff_t k = 0;
  for (; k + 16 <= n; k += 16) std::memcpy(to + k, from + k, 16);
  if (k < n) std::memcpy(to + k, from + k, static_cast<std::size_t>(n - k));
}

// The split of a w x h rectangle into core and strips, and where each of
// the pieces the turn keeps goes in its buffer.
struct Split {
  Format f;
  int side;  // of a chunk, in pixels
  int32_t w, h;
  int32_t core_w, core_h;    // the core: whole chunks
  int32_t strip_w, strip_h;  // the strips' thickness
  int32_t source_bands, turned_bands;  // bands of chunk rows in the core, each way
  std::ptrdiff_t chunk_row, chunk;     // bytes of a chunk's row, of a chunk
  std::ptrdiff_t full_row, strip_row;  // bytes of h pixels, of hr pixels
  std::size_t band_at, right_at, rows_at, seen_at, bytes;

  Split(int bits, int32_t width, int32_t height) : f(FormatOf(bits)), w(width), h(height) {
    const std::size_t image = static_cast<std::size_t>(RowBytes(f, w)) * static_cast<std::size_t>(h);
    for (int side = ChunkOf(f);; side /= 2) {
      Lay(side);
      if (bytes <= image || side / 2 < LeastChunkOf(f)) break;
    }
  }

  // The split with chunks of `chunk_side` pixels.
  void Lay(int chunk_side) {
    side = chunk_side;
    strip_w = w % side;
    strip_h = h % side;
    core_w = w - strip_w;
    core_h = h - strip_h;
    source_bands = core_h / side;
    turned_bands = core_w / side;
    chunk_row = Span(f, side);
    chunk = side * chunk_row;
    full_row = RowBytes(f, h);
    strip_row = RowBytes(f, strip_h);
    // The band buffer holds a band of turned source rows (pass 1), a chunk
    // (pass 2) and a band's chunks (pass 3).
    band_at = 0;
    right_at = band_at +
               TurnBufferRoundUp(static_cast<std::size_t>(std::max(core_w, core_h)) * chunk_row);
    rows_at = right_at + TurnBufferRoundUp(static_cast<std::size_t>(strip_w) * full_row);
    seen_at = rows_at + TurnBufferRoundUp(static_cast<std::size_t>(core_w) * strip_row);
    bytes = seen_at +
            TurnBufferRoundUp((static_cast<std::size_t>(source_bands) * turned_bands + 7) / 8);
  }
};

// Pass 2. With a source bands and b turned bands of chunks of side t, after
// pass 1 the chunk at index y*b + x holds turned rows [x*t, x*t + t) of the
// core's source band y. Its place is x*a + y: the same permutation for every
// transposition (where the source rows are taken from the bottom, band y
// ends up in the turned rows' columns of band a-1-y, and the spread puts it
// there), so no turn's cycles are worse than another's.
void SortChunks(const Split& s, uint8_t* rows, uint8_t* spare, uint8_t* seen) {
  const int64_t count = int64_t{s.source_bands} * s.turned_bands;
  std::memset(seen, 0, static_cast<std::size_t>((count + 7) / 8));
  auto chunk_at = [&](int64_t k) { return rows + k * s.chunk; };
  // The chunk that belongs at index k.
  auto source_of = [&](int64_t k) {
    const int64_t x = k / s.source_bands, y = k % s.source_bands;
    return y * s.turned_bands + x;
  };
  for (int64_t start = 0; start < count; ++start) {
    if ((seen[start / 8] >> (start % 8)) & 1) continue;
    seen[start / 8] |= static_cast<uint8_t>(1u << (start % 8));
    int64_t from = source_of(start);
    if (from == start) continue;
    std::memcpy(spare, chunk_at(start), s.chunk);
    int64_t k = start;
    while (from != start) {
      // The cycle jumps across the whole image: ask for the next chunk
      // while this one moves.
      PrefetchToRead(chunk_at(source_of(from)), s.chunk);
      std::memcpy(chunk_at(k), chunk_at(from), s.chunk);
      seen[from / 8] |= static_cast<uint8_t>(1u << (from % 8));
      k = from;
      from = source_of(k);
    }
    std::memcpy(chunk_at(k), spare, s.chunk);
  }
}

void TurnRectInPlace(const Split& s, uint8_t* rows, std::ptrdiff_t ss, std::ptrdiff_t ds,
                     Transposition t, TurnBuffer buffer) {
  const Format f = s.f;
  uint8_t* band = buffer.bytes + s.band_at;
  uint8_t* right = buffer.bytes + s.right_at;
  uint8_t* strip = buffer.bytes + s.rows_at;
  // Where the core's source rows start, and where its turned rows and those
  // of the right strip do.
  const int32_t core_row = t.reverse_in ? s.strip_h : 0;
  const int32_t turned_core_row = t.reverse_out ? s.strip_w : 0;
  const int32_t turned_right_row = t.reverse_out ? 0 : s.core_w;

  // The strips, turned into the buffer: the right one as whole turned rows,
  // the other as the ends of the core's turned rows.
  TurnRect(f, rows + Span(f, s.core_w), ss, right, s.full_row, s.strip_w, s.h, t, TurnBuffer{});
  TurnRect(f, rows + (t.reverse_in ? 0 : s.core_h) * ss, ss, strip, s.strip_row, s.core_w, s.strip_h, t,
           TurnBuffer{});

  // Pass 1: pack.
  const std::ptrdiff_t band_bytes = Span(f, s.core_w) * s.side;
  for (int32_t y = 0; y < s.source_bands; ++y) {
    TurnRect(f, rows + (core_row + y * s.side) * ss, ss, band, s.chunk_row, s.core_w, s.side, t, TurnBuffer{});
    std::memcpy(rows + y * band_bytes, band, band_bytes);
  }
  // Pass 2: sort.
  SortChunks(s, rows, band, buffer.bytes + s.seen_at);
  // Pass 3: spread.
  const std::ptrdiff_t core_bytes = Span(f, s.core_h);
  // The chunks of source bands from the bottom go to the turned rows in
  // reverse order.
  const std::ptrdiff_t next = t.reverse_in ? -s.chunk : s.chunk;
  const std::ptrdiff_t first = t.reverse_in ? (s.source_bands - 1) * s.chunk : 0;
  for (int32_t x = s.turned_bands - 1; x >= 0; --x) {
    std::memcpy(band, rows + x * s.side * core_bytes, s.side * core_bytes);
    for (int q = 0; q < s.side; ++q) {
      const int32_t turned = x * s.side + q;
      uint8_t* out = rows + (turned_core_row + turned) * ds;
      const uint8_t* in = band + first + q * s.chunk_row;
      for (int32_t u = 0; u < s.source_bands; ++u, in += next) {
        CopySegment(out + u * s.chunk_row, in, s.chunk_row);
      }
      std::memcpy(out + core_bytes, strip + turned * s.strip_row, s.strip_row);
    }
  }
  for (int32_t r = 0; r < s.strip_w; ++r) {
    std::memcpy(rows + (turned_right_row + r) * ds, right + r * s.full_row, s.full_row);
  }
}

}  // namespace

std::size_t RectangleInPlaceBufferBytes(int bits, int32_t width, int32_t height) {
  if (width == 0 || height == 0) return 0;
  return Split(bits, width, height).bytes;
}

void TurnRectangleInPlace(int bits, uint8_t* rows, std::ptrdiff_t src_stride,
                          std::ptrdiff_t dst_stride, int32_t width, int32_t height,
                          Transposition t, uint8_t pad, TurnBuffer buffer) {
  // Rows without pixels, or no rows: nothing to move or pad.
  if (width == 0 || height == 0) return;
  TurnRectInPlace(Split(bits, width, height), rows, src_stride, dst_stride, t, buffer);
  PadRows(bits, rows, dst_stride, width, height, pad);
}

}  // namespace quadturn
