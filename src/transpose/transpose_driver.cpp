// The one driver behind every transpose: it walks the image in tiles, runs
// the chosen set's block kernel over the part that whole blocks cover, hands
// the strips left at the right and bottom edges to the next smaller block
// (the chosen set's, then the portable set's), and the last thin strips to a
// per-pixel copy.
#include <algorithm>
#include <cstring>

#include "kernel_set.h"
#include "turns.h"

namespace quadturn {

namespace {

// Tile edge in pixels per format, a multiple of every block's sides. Chosen
// by measurement on whole images (4000 x 3000, 4093 x 3001, 2560 x 1440 and
// 4096 x 4096, both ways round): at 8 bits 256 beat 128 by 20-25%; at 16, 24
// and 32 bits 128, staged, was as fast as 256 on most shapes and up to twice
// as fast where a stride is a multiple of a large power of two (2560 x 1440
// at 32 bits turned back: 3.2 ms against 7.0). 512 gained nothing.
constexpr int kTile[kFormatCount] = {256, 128, 256, 128, 128, 128};
// Staged tiles go through two buffers of this many bytes at most (an 8-bit
// tile of 256 x 256), taken from the turn's working memory.
constexpr int kStageBytes = 64 * 1024;

constexpr int kMaxLevels = 8;

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

// The last resort, for strips thinner than the smallest block.
void PerPixel(Format f, const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst,
              std::ptrdiff_t ds, int32_t w, int32_t h) {
  const int bits = BitsOf(f);
  if (bits < 8) {
    for (int32_t j = 0; j < w; ++j) {
      for (int32_t i = 0; i < h; ++i) SetSmall(bits, dst + j * ds, i, GetSmall(bits, src + i * ss, j));
    }
    return;
  }
  const int p = bits / 8;
  for (int32_t j = 0; j < w; ++j) {
    uint8_t* d = dst + j * ds;
    const uint8_t* s = src + j * p;
    for (int32_t i = 0; i < h; ++i) std::memcpy(d + i * p, s + i * ss, p);
  }
}

// The bytes of one staged tile of format f, or 0 when f is not staged.
std::ptrdiff_t StagedTileBytes(const KernelSet& set, Format f) {
  const int fi = static_cast<int>(f);
  const std::ptrdiff_t bytes = Span(f, kTile[fi]) * kTile[fi];
  return set.stage[fi] && bytes <= kStageBytes ? bytes : 0;
}

// A whole tile through two contiguous buffers, `in` and `out`: rows copied
// in whole, blocks turned between the buffers, rows copied out whole.
void StagedTile(const BlockKernel& k, Format f, int tile, const uint8_t* src, std::ptrdiff_t ss,
                uint8_t* dst, std::ptrdiff_t ds, uint8_t* in, uint8_t* out) {
  const std::ptrdiff_t line = Span(f, tile);
  for (int r = 0; r < tile; ++r) std::memcpy(in + r * line, src + r * ss, line);
  for (int i = 0; i < tile; i += k.height) {
    for (int j = 0; j < tile; j += k.width) {
      k.fn(in + i * line + Span(f, j), line, out + j * line + Span(f, i), line);
    }
  }
  for (int r = 0; r < tile; ++r) std::memcpy(dst + r * ds, out + r * line, line);
}

// Whole blocks of kernel k over w x h pixels (multiples of its sides), a
// tile at a time; whole tiles through the stage buffers at `stage` (two of
// `stage_bytes` each) when there are any.
void Blocks(const BlockKernel& k, Format f, uint8_t* stage, std::ptrdiff_t stage_bytes,
            const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst, std::ptrdiff_t ds, int32_t w,
            int32_t h) {
  const int tile = kTile[static_cast<int>(f)];
  for (int32_t i0 = 0; i0 < h; i0 += tile) {
    const int32_t i1 = std::min(h, i0 + tile);
    for (int32_t j0 = 0; j0 < w; j0 += tile) {
      const int32_t j1 = std::min(w, j0 + tile);
      if (stage != nullptr && i1 - i0 == tile && j1 - j0 == tile) {
        StagedTile(k, f, tile, src + i0 * ss + Span(f, j0), ss, dst + j0 * ds + Span(f, i0), ds,
                   stage, stage + stage_bytes);
        continue;
      }
      // Down the tile's rows of blocks; along each, a block further right
      // in the source is a block further down in the destination.
      const std::ptrdiff_t across = Span(f, k.width), down = k.width * ds;
      for (int32_t i = i0; i < i1; i += k.height) {
        const uint8_t* s = src + i * ss + Span(f, j0);
        uint8_t* d = dst + j0 * ds + Span(f, i);
        for (int32_t j = j0; j < j1; j += k.width, s += across, d += down) k.fn(s, ss, d, ds);
      }
    }
  }
}

// The first level covers what whole blocks of its kernel cover (staging whole
// tiles when `stage` is given); the strips at the right (all rows) and bottom
// edge go one level down, unstaged. Block sides are whole bytes of pixels, so
// every strip starts on a byte.
void Walk(const BlockKernel* levels, uint8_t* stage, std::ptrdiff_t stage_bytes, Format f,
          const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst, std::ptrdiff_t ds, int32_t w,
          int32_t h) {
  if (w <= 0 || h <= 0) return;
  const BlockKernel& k = levels[0];
  if (k.fn == nullptr) {
    PerPixel(f, src, ss, dst, ds, w, h);
    return;
  }
  const int32_t wb = w - w % k.width, hb = h - h % k.height;
  if (wb > 0 && hb > 0) Blocks(k, f, stage, stage_bytes, src, ss, dst, ds, wb, hb);
  Walk(levels + 1, nullptr, 0, f, src + Span(f, wb), ss, dst + wb * ds, ds, w - wb, h);
  Walk(levels + 1, nullptr, 0, f, src + hb * ss, ss, dst + Span(f, hb), ds, wb, h - hb);
}

}  // namespace

std::size_t TurnRowsBufferBytes(int bits, int32_t width, int32_t height) {
  // Two staged tiles, where the image holds a whole one.
  const Format f = FormatOf(bits);
  const int tile = kTile[static_cast<int>(f)];
  if (width < tile || height < tile) return 0;
  return 2 * static_cast<std::size_t>(StagedTileBytes(ChosenKernels(), f));
}

void Transpose(Format f, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
               std::ptrdiff_t dst_stride, int32_t w, int32_t h, TurnBuffer buffer) {
  // The chosen set's blocks, then the portable set's, then single pixels.
  const KernelSet& set = ChosenKernels();
  const KernelSet& portable = PortableKernels();
  const int fi = static_cast<int>(f);
  BlockKernel levels[kMaxLevels];
  int n = 0;
  auto add = [&](const KernelSet& s) {
    for (const BlockKernel* k = s.blocks[fi]; k->fn != nullptr && n < kMaxLevels - 1; ++k) {
      levels[n++] = *k;
    }
  };
  add(set);
  if (&set != &portable) add(portable);
  levels[n] = BlockKernel{};
  // The first level stages whole tiles where the set asks for it and the
  // buffer holds two of them.
  const std::ptrdiff_t stage_bytes = StagedTileBytes(set, f);
  const bool stage = stage_bytes > 0 && buffer.size >= 2 * static_cast<std::size_t>(stage_bytes);
  Walk(levels, stage ? buffer.bytes : nullptr, stage_bytes, f, src, src_stride, dst, dst_stride,
       w, h);
}

}  // namespace quadturn
