// The one driver behind every transpose: it walks the image in tiles, runs
// the chosen set's block kernel over the part that whole blocks cover, hands
// the strips left at the right and bottom edges to the next smaller block
// (the chosen set's, then the portable set's), and the last thin strips to a
// per-pixel copy.
#include <algorithm>
#include <cstring>

#include "kernel_choice.h"
#include "turn_parts.h"

namespace quadturn {

namespace {

// Tile edge in pixels per format, a multiple of every block's sides: a
// tile's rows stay in the cache while its blocks are turned, and a staged
// tile fits its stage buffer (the sizes measured: BENCHMARKS.md, "Tiles").
int TileOf(Format f) {
  switch (f.bits) {
    case 1:
    case 8: return 256;
    case 2:
    case 4:
    case 16:
    case 24:
    case 32: return 128;
    default: return 64;
  }
}
// Staged tiles go through two buffers, each of a tile of this many bytes at
// most (an 8-bit tile of 256 x 256), taken from the turn's working memory.
constexpr int kStageBytes = 64 * 1024;
// A staged row is a cache line longer than the tile's: rows of a power of
// two apart would share a few cache sets, and a column of blocks writing
// across 256 of them would evict its own lines before they are full.
constexpr int kStagePad = 64;

// Pixel x of a row of 1- or 4-bit pixels.
inline unsigned GetSmall(int bits, const uint8_t* row, int64_t x) {
  const int64_t bit = x * bits;
  return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

inline void SetSmall(int bits, uint8_t* row, int64_t x, unsigned v) {
  const int64_t bit = x * bits;
  const int shift = static_cast<int>(8 - bits - bit % 8);
  const unsigned mask = ((1u << bits) - 1) << shift;
  row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~mask) | (v << shift));
}

// A rectangle of a transpose: w x h source pixels at `src`, rows
// src_stride bytes apart, going to h x w pixels at `dst`.
struct Part {
  const uint8_t* src;
  std::ptrdiff_t src_stride;
  uint8_t* dst;
  std::ptrdiff_t dst_stride;
  int32_t w, h;

  // The rectangle of w x h source pixels from source row i, pixel j on.
  Part At(Format f, int32_t i, int32_t j, int32_t w_at, int32_t h_at) const {
    return {src + i * src_stride + Span(f, j), src_stride, dst + j * dst_stride + Span(f, i),
            dst_stride, w_at, h_at};
  }
};

// Two staging buffers of `bytes` each, one behind the other; none when
// `in` is null. `stream` takes the rows out past the caches, where it is
// not null.
struct Stage {
  uint8_t* in = nullptr;
  std::ptrdiff_t bytes = 0;
  StreamRowsFn stream = nullptr;
  uint8_t* out() const { return in + bytes; }
};

// The last resort, for strips thinner than the smallest block.
void PerPixel(Format f, const Part& p) {
  const int bits = BitsOf(f);
  if (bits < 8) {
    for (int32_t j = 0; j < p.w; ++j) {
      uint8_t* d = p.dst + j * p.dst_stride;
      for (int32_t i = 0; i < p.h; ++i) {
        SetSmall(bits, d, i, GetSmall(bits, p.src + i * p.src_stride, j));
      }
    }
    return;
  }
  const std::ptrdiff_t n = bits / 8;
  for (int32_t j = 0; j < p.w; ++j) {
    uint8_t* d = p.dst + j * p.dst_stride;
    const uint8_t* s = p.src + j * n;
    for (int32_t i = 0; i < p.h; ++i) std::memcpy(d + i * n, s + i * p.src_stride, n);
  }
}

// The n-th of `count` rows (or strips) walked in the order of their
// addresses: from the last one where the stride is negative. The processor
// fetches ahead of an ascending walk far better.
inline int InAddressOrder(std::ptrdiff_t stride, int count, int n) {
  return stride < 0 ? count - 1 - n : n;
}

// A staged row of format f: a tile's row and the pad.
std::ptrdiff_t StagedLine(Format f) { return Span(f, TileOf(f)) + kStagePad; }

// The bytes of one staged tile of format f, or 0 when f is not staged.
std::ptrdiff_t StagedTileBytes(const KernelSet& set, Format f) {
  const bool staged = set.stage[f.index] && Span(f, TileOf(f)) * TileOf(f) <= kStageBytes;
  return staged ? StagedLine(f) * TileOf(f) : 0;
}

// A whole tile (p is tile x tile) through the two stage buffers: rows
// copied in whole, blocks turned between the buffers, rows copied out whole
// (or streamed).
void StagedTile(const BlockKernel& k, Format f, int tile, const Part& p, const Stage& stage) {
  const std::ptrdiff_t bytes = Span(f, tile), line = StagedLine(f);
  uint8_t* in = stage.in;
  uint8_t* out = stage.out();
  // A tile's rows are hundreds of short runs, too many for the processor to
  // follow: each run is asked for kAhead rows before it is copied, and the
  // rows go in address order.
  constexpr int kAhead = 16;
  for (int n = 0; n < tile; ++n) {
    const int r = InAddressOrder(p.src_stride, tile, n);
    if (n + kAhead < tile) {
      PrefetchToRead(p.src + InAddressOrder(p.src_stride, tile, n + kAhead) * p.src_stride, bytes);
    }
    std::memcpy(in + r * line, p.src + r * p.src_stride, bytes);
  }
  for (int i = 0; i < tile; i += k.height) {
    for (int j = 0; j < tile; j += k.width) {
      k.fn(in + i * line + Span(f, j), line, out + j * line + Span(f, i), line);
    }
  }
  if (stage.stream != nullptr) {
    stage.stream(p.dst, p.dst_stride, out, line, bytes, tile);
    return;
  }
  for (int n = 0; n < tile; ++n) {
    const int r = InAddressOrder(p.dst_stride, tile, n);
    if (n + kAhead < tile) {
      PrefetchToWrite(p.dst + InAddressOrder(p.dst_stride, tile, n + kAhead) * p.dst_stride, bytes);
    }
    std::memcpy(p.dst + r * p.dst_stride, out + r * line, bytes);
  }
}

// Whole blocks of kernel k over p (its sides multiples of the kernel's), a
// tile at a time; whole tiles through the stage buffers when there are any.
void Blocks(const BlockKernel& k, Format f, const Stage& stage, const Part& p) {
  const int tile = TileOf(f);
  for (int32_t i0 = 0; i0 < p.h; i0 += tile) {
    const int32_t i1 = std::min(p.h, i0 + tile);
    for (int32_t j0 = 0; j0 < p.w; j0 += tile) {
      const int32_t j1 = std::min(p.w, j0 + tile);
      if (stage.in != nullptr && i1 - i0 == tile && j1 - j0 == tile) {
        StagedTile(k, f, tile, p.At(f, i0, j0, tile, tile), stage);
        continue;
      }
      // The tile's strips of blocks in the source's address order; along
      // each, a block further right in the source is a block further down
      // in the destination.
      const std::ptrdiff_t across = Span(f, k.width), down = k.width * p.dst_stride;
      const int strips = (i1 - i0) / k.height;
      for (int n = 0; n < strips; ++n) {
        const int32_t i = i0 + InAddressOrder(p.src_stride, strips, n) * k.height;
        const Part row = p.At(f, i, j0, j1 - j0, k.height);
        const uint8_t* s = row.src;
        uint8_t* d = row.dst;
        for (int32_t j = j0; j < j1; j += k.width, s += across, d += down) {
          k.fn(s, p.src_stride, d, p.dst_stride);
        }
      }
    }
  }
}

// The first level covers what whole blocks of its kernel cover (staging whole
// tiles when there is a stage); the strips at the right (all rows) and bottom
// edge go one level down, unstaged. Block sides are whole bytes of pixels, so
// every strip starts on a byte.
void Walk(const BlockKernel* levels, const Stage& stage, Format f, const Part& p) {
  if (p.w <= 0 || p.h <= 0) return;
  const BlockKernel& k = levels[0];
  if (k.fn == nullptr) {
    PerPixel(f, p);
    return;
  }
  const int32_t wb = p.w - p.w % k.width, hb = p.h - p.h % k.height;
  if (wb > 0 && hb > 0) Blocks(k, f, stage, p.At(f, 0, 0, wb, hb));
  Walk(levels + 1, Stage{}, f, p.At(f, 0, wb, p.w - wb, p.h));
  Walk(levels + 1, Stage{}, f, p.At(f, hb, 0, wb, p.h - hb));
}

}  // namespace

std::size_t TransposeBufferBytes(int bits, int32_t width, int32_t height) {
  // Two staged tiles, where the image holds a whole one.
  const Format f = FormatOf(bits);
  const int tile = TileOf(f);
  if (width < tile || height < tile) return 0;
  return 2 * static_cast<std::size_t>(StagedTileBytes(ChosenKernels(), f));
}

void Transpose(Format f, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
               std::ptrdiff_t dst_stride, int32_t w, int32_t h, TurnBuffer buffer,
               Output output) {
  // The chosen set's blocks, then the portable set's, then single pixels.
  const KernelSet& set = ChosenKernels();
  BlockKernel levels[kMaxLevels];
  KernelLevels(set, &KernelSet::blocks, f, levels);
  // The first level stages whole tiles where the set asks for it and the
  // buffer holds two of them.
  const std::ptrdiff_t stage_bytes = StagedTileBytes(set, f);
  Stage stage;
  if (stage_bytes > 0 && buffer.size >= 2 * static_cast<std::size_t>(stage_bytes)) {
    stage = Stage{buffer.bytes, stage_bytes,
                  output == Output::kStreamed ? set.stream_rows : nullptr};
  }
  Walk(levels, stage, f, Part{src, src_stride, dst, dst_stride, w, h});
}

}  // namespace quadturn
