// SIMD transposes for x86: SSE2 for bytes and bits (the baseline of every
// x86-64 processor and of the 32-bit DLL's targets), SSSE3 for 3-byte pixels
// when the processor has it. Edges that do not fill a block go to the scalar
// transposes.
#include <emmintrin.h>
#include <tmmintrin.h>

#include <algorithm>
#include <cstring>

#include "turn_kernels.h"

namespace quadturn {
namespace {

// Tiles of 128 x 128 pixels: measured faster here than 64 (about a third
// less time at 8 and 24 bits) and than 256.
constexpr int kTile = 128;

// Transposes 16 rows of 16 bytes held in r[0..15]: afterwards r[c] holds
// byte c of every row, row p in byte p. Four unpack stages of doubling width.
inline void Transpose16x16(__m128i r[16]) {
  __m128i a[16], b[16];
  for (int k = 0; k < 8; ++k) {
    a[2 * k] = _mm_unpacklo_epi8(r[2 * k], r[2 * k + 1]);
    a[2 * k + 1] = _mm_unpackhi_epi8(r[2 * k], r[2 * k + 1]);
  }
  for (int m = 0; m < 4; ++m) {
    b[4 * m + 0] = _mm_unpacklo_epi16(a[4 * m + 0], a[4 * m + 2]);
    b[4 * m + 1] = _mm_unpackhi_epi16(a[4 * m + 0], a[4 * m + 2]);
    b[4 * m + 2] = _mm_unpacklo_epi16(a[4 * m + 1], a[4 * m + 3]);
    b[4 * m + 3] = _mm_unpackhi_epi16(a[4 * m + 1], a[4 * m + 3]);
  }
  // a[8g + q]: byte columns 2q and 2q+1 of rows 8g..8g+7.
  for (int g = 0; g < 2; ++g) {
    for (int c = 0; c < 4; ++c) {
      a[8 * g + 2 * c] = _mm_unpacklo_epi32(b[8 * g + c], b[8 * g + 4 + c]);
      a[8 * g + 2 * c + 1] = _mm_unpackhi_epi32(b[8 * g + c], b[8 * g + 4 + c]);
    }
  }
  for (int q = 0; q < 8; ++q) {
    r[2 * q] = _mm_unpacklo_epi64(a[q], a[8 + q]);
    r[2 * q + 1] = _mm_unpackhi_epi64(a[q], a[8 + q]);
  }
}

// 16 x 16 bytes from rows of stride ss to rows of stride ds.
inline void Block16(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  __m128i r[16];
  for (int k = 0; k < 16; ++k) {
    r[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k * ss));
  }
  Transpose16x16(r);
  for (int k = 0; k < 16; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k * ds), r[k]);
}

// Whole tiles go through two small buffers (16 KiB each): the tile's source rows
// are copied in whole cache lines, turned in the buffers, and copied out in
// whole lines. With power-of-two strides the rows of a tile all fall in one
// cache set, and turning them in place would evict each line before its
// other 16-byte pieces were used.
void TransposeBytesSse2(const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst,
                        std::ptrdiff_t ds, int w, int h) {
  alignas(64) uint8_t in[kTile * kTile];
  alignas(64) uint8_t out[kTile * kTile];
  const int w_tiles = w & ~(kTile - 1), h_tiles = h & ~(kTile - 1);
  for (int i0 = 0; i0 < h_tiles; i0 += kTile) {
    for (int j0 = 0; j0 < w_tiles; j0 += kTile) {
      for (int k = 0; k < kTile; ++k) std::memcpy(in + k * kTile, src + (i0 + k) * ss + j0, kTile);
      for (int i = 0; i < kTile; i += 16) {
        for (int j = 0; j < kTile; j += 16) Block16(in + i * kTile + j, kTile, out + j * kTile + i, kTile);
      }
      for (int k = 0; k < kTile; ++k) std::memcpy(dst + (j0 + k) * ds + i0, out + k * kTile, kTile);
    }
  }
  // The partial tiles along the right and bottom edges, 16 x 16 where they
  // can be, then what is left to the scalar transpose.
  const int w16 = w & ~15, h16 = h & ~15;
  for (int i = 0; i < h16; i += 16) {
    for (int j = (i < h_tiles ? w_tiles : 0); j < w16; j += 16) Block16(src + i * ss + j, ss, dst + j * ds + i, ds);
  }
  const TransposeFn scalar = ScalarTransposes().bytes;
  scalar(src + w16, ss, dst + w16 * ds, ds, w - w16, h);
  scalar(src + h16 * ss, ss, dst + h16, ds, w16, h - h16);
}

// 4 x 4 pixel blocks: each row's 4 pixels are spread into 4-byte slots, the
// slots transposed as 32-bit lanes, and packed back to 12 bytes.
__attribute__((target("ssse3"))) void TransposeTriplesSsse3(
    const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst, std::ptrdiff_t ds,
    int w, int h) {
  const __m128i spread =
      _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i pack =
      _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  // A block loads 16 bytes from 3j on; 6 more pixels keep that in the row.
  const int w4 = w >= 2 ? (w - 2) & ~3 : 0;
  const int h4 = h & ~3;
  for (int i0 = 0; i0 < h4; i0 += kTile) {
    const int i1 = std::min(h4, i0 + kTile);
    for (int j0 = 0; j0 < w4; j0 += kTile) {
      const int j1 = std::min(w4, j0 + kTile);
      for (int i = i0; i < i1; i += 4) {
        for (int j = j0; j < j1; j += 4) {
          const uint8_t* s = src + i * ss + 3 * j;
          __m128i r[4];
          for (int k = 0; k < 4; ++k) {
            r[k] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k * ss)), spread);
          }
          const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]);
          const __m128i t1 = _mm_unpackhi_epi32(r[0], r[1]);
          const __m128i t2 = _mm_unpacklo_epi32(r[2], r[3]);
          const __m128i t3 = _mm_unpackhi_epi32(r[2], r[3]);
          const __m128i o[4] = {_mm_unpacklo_epi64(t0, t2), _mm_unpackhi_epi64(t0, t2),
                                _mm_unpacklo_epi64(t1, t3), _mm_unpackhi_epi64(t1, t3)};
          uint8_t* d = dst + j * ds + 3 * i;
          for (int k = 0; k < 4; ++k) {
            const __m128i p = _mm_shuffle_epi8(o[k], pack);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(d + k * ds), p);
            const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(p, 8));
            std::memcpy(d + k * ds + 8, &last, 4);
          }
        }
      }
    }
  }
  const TransposeFn scalar = ScalarTransposes().triples;
  scalar(src + 3 * w4, ss, dst + w4 * ds, ds, w - w4, h);
  scalar(src + h4 * ss, ss, dst + 3 * h4, ds, w4, h - h4);
}

// 16 rows x 16 bytes (128 pixels) at a time: a byte transpose puts one byte
// column of the 16 rows in each register, and movemask then reads one pixel
// column out of it as 16 bits. Rows are loaded in the order that makes those
// bits come out most significant first.
void TransposeBitsSse2(const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst,
                       std::ptrdiff_t ds, int w, int h) {
  const int wb16 = (w / 8 + (w % 8 != 0)) & ~15;  // source bytes in whole blocks
  const int h16 = h & ~15;
  for (int i0 = 0; i0 < h16; i0 += kTile) {
    const int i1 = std::min(h16, i0 + kTile);
    for (int b = 0; b < wb16; b += 16) {
      for (int i = i0; i < i1; i += 16) {
        __m128i r[16];
        for (int p = 0; p < 16; ++p) {
          const int row = i + (p < 8 ? 7 - p : 23 - p);
          r[p] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + row * ss + b));
        }
        Transpose16x16(r);
        for (int c = 0; c < 16; ++c) {
          __m128i v = r[c];
          const int x0 = 8 * (b + c);
          const int n = std::min(8, w - x0);
          uint8_t* d = dst + x0 * ds + i / 8;
          for (int k = 0; k < n; ++k) {
            const uint16_t bits = static_cast<uint16_t>(_mm_movemask_epi8(v));
            std::memcpy(d + k * ds, &bits, 2);
            v = _mm_add_epi8(v, v);
          }
        }
      }
    }
  }
  const TransposeFn scalar = ScalarTransposes().bits;
  scalar(src + wb16, ss, dst + 8 * wb16 * ds, ds, w - 8 * wb16, h);
  scalar(src + h16 * ss, ss, dst + h16 / 8, ds, std::min(w, 8 * wb16), h - h16);
}

}  // namespace

const TransposeSet* SimdTransposes() {
  static const TransposeSet kSse2 = {"sse2", TransposeBytesSse2,
                                     ScalarTransposes().triples, TransposeBitsSse2};
  static const TransposeSet kSsse3 = {"sse2+ssse3", TransposeBytesSse2,
                                      TransposeTriplesSsse3, TransposeBitsSse2};
  static const bool has_ssse3 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return has_ssse3 ? &kSsse3 : &kSse2;
}

}  // namespace quadturn
