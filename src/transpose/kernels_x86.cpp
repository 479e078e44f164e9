// SIMD block transposes and reversals for x86: SSE2 (the baseline of every
// x86-64 processor; on 32-bit x86 this file alone is built for it) for 1-,
// 4-, 8-, 16-, 32- and 64-bit pixels, SSSE3 for 24- and 48-bit pixels and
// byte shuffles.
// Each kernel turns or reverses exactly one block; the drivers do the rest. Which sets run is asked of the
// processor in simd_sets_x86.cpp.
#include <emmintrin.h>
#include <tmmintrin.h>

#include <cstring>

#include "kernel_set.h"
#include "kernel_lists.h"
#include "unroll.h"

namespace quadturn {
namespace {

inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i Load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void Store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

// Transposes 16 rows of 16 bytes held in r[0..15]: afterwards r[c] holds
// byte c of every row, row p in byte p. Four unpack stages of doubling width.
QT_INLINE void Transpose16x16(__m128i r[16]) {
  __m128i a[16], b[16];
  QT_UNROLL(8)
  for (int k = 0; k < 8; ++k) {
    a[2 * k] = _mm_unpacklo_epi8(r[2 * k], r[2 * k + 1]);
    a[2 * k + 1] = _mm_unpackhi_epi8(r[2 * k], r[2 * k + 1]);
  }
  QT_UNROLL(4)
  for (int m = 0; m < 4; ++m) {
    b[4 * m + 0] = _mm_unpacklo_epi16(a[4 * m + 0], a[4 * m + 2]);
    b[4 * m + 1] = _mm_unpackhi_epi16(a[4 * m + 0], a[4 * m + 2]);
    b[4 * m + 2] = _mm_unpacklo_epi16(a[4 * m + 1], a[4 * m + 3]);
    b[4 * m + 3] = _mm_unpackhi_epi16(a[4 * m + 1], a[4 * m + 3]);
  }
  // a[8g + q]: byte columns 2q and 2q+1 of rows 8g..8g+7.
  QT_UNROLL(2)
  for (int g = 0; g < 2; ++g) {
    QT_UNROLL(4)
    for (int c = 0; c < 4; ++c) {
      a[8 * g + 2 * c] = _mm_unpacklo_epi32(b[8 * g + c], b[8 * g + 4 + c]);
      a[8 * g + 2 * c + 1] = _mm_unpackhi_epi32(b[8 * g + c], b[8 * g + 4 + c]);
    }
  }
  QT_UNROLL(8)
  for (int q = 0; q < 8; ++q) {
    r[2 * q] = _mm_unpacklo_epi64(a[q], a[8 + q]);
    r[2 * q + 1] = _mm_unpackhi_epi64(a[q], a[8 + q]);
  }
}

// 16 x 16 bytes.
void Bytes16x16(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  __m128i r[16];
  QT_UNROLL(16)
  for (int k = 0; k < 16; ++k) r[k] = Load(s + k * ss);
  Transpose16x16(r);
  QT_UNROLL(16)
  for (int k = 0; k < 16; ++k) Store(d + k * ds, r[k]);
}

// 8 x 8 pixels of 2 bytes: three unpack stages.
void Words8x8(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  __m128i r[8], a[8], b[8];
  QT_UNROLL(8)
  for (int k = 0; k < 8; ++k) r[k] = Load(s + k * ss);
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) {
    a[k] = _mm_unpacklo_epi16(r[2 * k], r[2 * k + 1]);      // columns 0-3 of rows 2k, 2k+1
    a[4 + k] = _mm_unpackhi_epi16(r[2 * k], r[2 * k + 1]);  // columns 4-7
  }
  QT_UNROLL(2)
  for (int h = 0; h < 2; ++h) {
    QT_UNROLL(2)
    for (int q = 0; q < 2; ++q) {
      // b[4h + 2q + x]: column pairs of rows 4q..4q+3 from a[4h + 2q], a[4h + 2q + 1].
      b[4 * h + 2 * q] = _mm_unpacklo_epi32(a[4 * h + 2 * q], a[4 * h + 2 * q + 1]);
      b[4 * h + 2 * q + 1] = _mm_unpackhi_epi32(a[4 * h + 2 * q], a[4 * h + 2 * q + 1]);
    }
  }
  QT_UNROLL(2)
  for (int h = 0; h < 2; ++h) {
    QT_UNROLL(2)
    for (int m = 0; m < 2; ++m) {
      const __m128i lo = b[4 * h + m], hi = b[4 * h + 2 + m];
      Store(d + (4 * h + 2 * m) * ds, _mm_unpacklo_epi64(lo, hi));
      Store(d + (4 * h + 2 * m + 1) * ds, _mm_unpackhi_epi64(lo, hi));
    }
  }
}

// 4 x 4 pixels of 4 bytes.
QT_INLINE void Dwords4x4(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const __m128i r0 = Load(s), r1 = Load(s + ss), r2 = Load(s + 2 * ss), r3 = Load(s + 3 * ss);
  const __m128i t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpacklo_epi32(r2, r3);
  const __m128i t2 = _mm_unpackhi_epi32(r0, r1), t3 = _mm_unpackhi_epi32(r2, r3);
  Store(d, _mm_unpacklo_epi64(t0, t1));
  Store(d + ds, _mm_unpackhi_epi64(t0, t1));
  Store(d + 2 * ds, _mm_unpacklo_epi64(t2, t3));
  Store(d + 3 * ds, _mm_unpackhi_epi64(t2, t3));
}

// 8 x 8 pixels of 4 bytes, as four 4 x 4 blocks.
void Dwords8x8(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  Dwords4x4(s, ss, d, ds);
  Dwords4x4(s + 16, ss, d + 4 * ds, ds);
  Dwords4x4(s + 4 * ss, ss, d + 16, ds);
  Dwords4x4(s + 4 * ss + 16, ss, d + 4 * ds + 16, ds);
}

// 2 x 2 and 4 x 4 pixels of 8 bytes: a register holds two.
QT_INLINE void Qwords2x2(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const __m128i r0 = Load(s), r1 = Load(s + ss);
  Store(d, _mm_unpacklo_epi64(r0, r1));
  Store(d + ds, _mm_unpackhi_epi64(r0, r1));
}
void Qwords4x4(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  Qwords2x2(s, ss, d, ds);
  Qwords2x2(s + 16, ss, d + 2 * ds, ds);
  Qwords2x2(s + 2 * ss, ss, d + 16, ds);
  Qwords2x2(s + 2 * ss + 16, ss, d + 2 * ds + 16, ds);
}
void Qwords2x2Block(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  Qwords2x2(s, ss, d, ds);
}

// 16 rows x 16 pixels of 4 bits: each row's 8 bytes are spread to one pixel a
// byte, the 16 x 16 bytes transposed, and pairs of bytes packed back.
void Nibbles16x16(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const __m128i low = _mm_set1_epi8(0x0F);
  __m128i r[16];
  QT_UNROLL(16)
  for (int k = 0; k < 16; ++k) {
    const __m128i v = Load8(s + k * ss);
    const __m128i hi = _mm_and_si128(_mm_srli_epi16(v, 4), low);
    r[k] = _mm_unpacklo_epi8(hi, _mm_and_si128(v, low));  // pixels 0..15 in order
  }
  Transpose16x16(r);
  const __m128i even = _mm_set1_epi16(0x00FF);
  QT_UNROLL(16)
  for (int c = 0; c < 16; ++c) {
    // Bytes 2k and 2k+1 of column c (rows 2k, 2k+1) become one byte.
    const __m128i first = _mm_slli_epi16(_mm_and_si128(r[c], even), 4);
    const __m128i second = _mm_srli_epi16(r[c], 8);
    Store8(d + c * ds, _mm_packus_epi16(_mm_or_si128(first, second), first));
  }
}

// 16 rows x 128 pixels of 1 bit: a byte transpose puts one byte column of
// the 16 rows in each register, and movemask then reads one pixel column out
// of it as 16 bits. Rows are loaded in the order that makes those bits come
// out most significant first.
void Bits16x128(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  __m128i r[16];
  QT_UNROLL(16)
  for (int p = 0; p < 16; ++p) r[p] = Load(s + (p < 8 ? 7 - p : 23 - p) * ss);
  Transpose16x16(r);
  QT_UNROLL(16)
  for (int c = 0; c < 16; ++c) {
    __m128i v = r[c];
    uint8_t* to = d + 8 * c * ds;
    QT_UNROLL(8)
    for (int k = 0; k < 8; ++k) {
      const uint16_t bits = static_cast<uint16_t>(_mm_movemask_epi8(v));
      std::memcpy(to + k * ds, &bits, 2);
      v = _mm_add_epi8(v, v);
    }
  }
}

// 4 x 4 pixels of 3 bytes: each row's 4 pixels are spread into 4-byte slots,
// the slots transposed as 32-bit lanes, and packed back to 12 bytes.
__attribute__((target("ssse3"), always_inline)) inline void Triples4x4(
    const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  __m128i r[4];
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) {
    // Exactly the block's 12 bytes: 8, then 4.
    int32_t last;
    std::memcpy(&last, s + k * ss + 8, 4);
    const __m128i row = _mm_unpacklo_epi64(Load8(s + k * ss), _mm_cvtsi32_si128(last));
    r[k] = _mm_shuffle_epi8(row, spread);
  }
  const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]), t1 = _mm_unpackhi_epi32(r[0], r[1]);
  const __m128i t2 = _mm_unpacklo_epi32(r[2], r[3]), t3 = _mm_unpackhi_epi32(r[2], r[3]);
  const __m128i o[4] = {_mm_unpacklo_epi64(t0, t2), _mm_unpackhi_epi64(t0, t2),
                        _mm_unpacklo_epi64(t1, t3), _mm_unpackhi_epi64(t1, t3)};
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) {
    const __m128i p = _mm_shuffle_epi8(o[k], pack);
    Store8(d + k * ds, p);
    const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(p, 8));
    std::memcpy(d + k * ds + 8, &last, 4);
  }
}

// 8 x 8 pixels of 3 bytes, as four 4 x 4 blocks.
__attribute__((target("ssse3"))) void Triples8x8(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d,
                                                  std::ptrdiff_t ds) {
  Triples4x4(s, ss, d, ds);
  Triples4x4(s + 12, ss, d + 4 * ds, ds);
  Triples4x4(s + 4 * ss, ss, d + 12, ds);
  Triples4x4(s + 4 * ss + 12, ss, d + 4 * ds + 12, ds);
}

__attribute__((target("ssse3"))) void Triples4x4Block(const uint8_t* s, std::ptrdiff_t ss,
                                                       uint8_t* d, std::ptrdiff_t ds) {
  Triples4x4(s, ss, d, ds);
}

// Reversals of 16 bytes: the pixels in reverse order, and (1 and 4 bits)
// within each byte; a kernel reverses 64 (96 at 24 and 48 bits) from each end.
inline __m128i ReversedQwords(__m128i v) { return _mm_shuffle_epi32(v, 0x4E); }
inline __m128i ReversedDwords(__m128i v) { return _mm_shuffle_epi32(v, 0x1B); }
inline __m128i ReversedWords(__m128i v) {
  v = _mm_shuffle_epi32(v, 0x1B);
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
}
inline __m128i ReversedBytes(__m128i v) {
  v = ReversedWords(v);
  return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}
// The bit pairs, pairs of pairs and nibbles of every byte exchanged (the
// masks keep each shift inside its byte).
inline __m128i SwappedWithin(__m128i v, int shift, int8_t mask) {
  const __m128i m = _mm_set1_epi8(mask);
  return _mm_or_si128(_mm_and_si128(_mm_srli_epi16(v, shift), m),
                      _mm_slli_epi16(_mm_and_si128(v, m), shift));
}
template <int kBits>
inline __m128i ReversedSmall(__m128i v) {
  v = ReversedBytes(v);
  if (kBits == 1) v = SwappedWithin(SwappedWithin(v, 1, 0x55), 2, 0x33);
  return SwappedWithin(v, 4, 0x0F);
}

template <__m128i (*kReverse)(__m128i)>
void SwapReversed16(uint8_t* p, uint8_t* q) {
  const __m128i a = Load(p), b = Load(q);
  Store(p, kReverse(b));
  Store(q, kReverse(a));
}

// 64 bytes each way, a call's worth of work: four registers from each end,
// each reversed, in reverse order.
template <__m128i (*kReverse)(__m128i)>
void SwapReversed64(uint8_t* p, uint8_t* q) {
  __m128i a[4], b[4];
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) a[k] = Load(p + 16 * k), b[k] = Load(q + 16 * k);
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) Store(p + 16 * k, kReverse(b[3 - k])), Store(q + 16 * k, kReverse(a[3 - k]));
}

__attribute__((target("ssse3"), always_inline)) inline __m128i ReversedBytesSsse3(__m128i v) {
  return _mm_shuffle_epi8(v, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
}

// 1- and 4-bit pixels with the bytes and a nibble table shuffled.
template <int kBits>
__attribute__((target("ssse3"), always_inline)) inline __m128i ReversedSmallSsse3(__m128i v) {
  v = ReversedBytesSsse3(v);
  const __m128i low = _mm_set1_epi8(0x0F);
  const __m128i lo = _mm_and_si128(v, low), hi = _mm_and_si128(_mm_srli_epi16(v, 4), low);
  if (kBits == 4) return _mm_or_si128(_mm_slli_epi16(lo, 4), hi);
  // Each nibble's bits reversed.
  const __m128i table = _mm_setr_epi8(0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5,
                                      0xD, 0x3, 0xB, 0x7, 0xF);
  return _mm_or_si128(_mm_slli_epi16(_mm_shuffle_epi8(table, lo), 4), _mm_shuffle_epi8(table, hi));
}

template <int kBits>
__attribute__((target("ssse3"))) void SwapReversedSmallSsse3(uint8_t* p, uint8_t* q) {
  __m128i a[4], b[4];
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) a[k] = Load(p + 16 * k), b[k] = Load(q + 16 * k);
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) {
    Store(p + 16 * k, ReversedSmallSsse3<kBits>(b[3 - k]));
    Store(q + 16 * k, ReversedSmallSsse3<kBits>(a[3 - k]));
  }
}

template <int kBits>
__attribute__((target("ssse3"))) void SwapReversedSmall16Ssse3(uint8_t* p, uint8_t* q) {
  const __m128i a = Load(p), b = Load(q);
  Store(p, ReversedSmallSsse3<kBits>(b));
  Store(q, ReversedSmallSsse3<kBits>(a));
}

__attribute__((target("ssse3"))) void SwapReversedBytes16Ssse3(uint8_t* p, uint8_t* q) {
  const __m128i a = Load(p), b = Load(q);
  Store(p, ReversedBytesSsse3(b));
  Store(q, ReversedBytesSsse3(a));
}

__attribute__((target("ssse3"))) void SwapReversedBytesSsse3(uint8_t* p, uint8_t* q) {
  __m128i a[4], b[4];
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) a[k] = Load(p + 16 * k), b[k] = Load(q + 16 * k);
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) {
    Store(p + 16 * k, ReversedBytesSsse3(b[3 - k]));
    Store(q + 16 * k, ReversedBytesSsse3(a[3 - k]));
  }
}

// 16 pixels of 3 bytes in three registers, in reverse order: each register
// of the result gathers from two or three of the source.
__attribute__((target("ssse3"), always_inline)) inline void ReversedTriples(const __m128i in[3],
                                                                         __m128i out[3]) {
  constexpr int8_t z = -128;  // a byte pshufb clears
  out[0] = _mm_or_si128(
      _mm_shuffle_epi8(in[2], _mm_setr_epi8(13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3, z)),
      _mm_shuffle_epi8(in[1], _mm_setr_epi8(z, z, z, z, z, z, z, z, z, z, z, z, z, z, z, 14)));
  out[1] = _mm_or_si128(
      _mm_or_si128(
          _mm_shuffle_epi8(in[0], _mm_setr_epi8(z, z, z, z, z, z, z, z, z, z, z, z, z, z, 15, z)),
          _mm_shuffle_epi8(in[1], _mm_setr_epi8(15, z, 11, 12, 13, 8, 9, 10, 5, 6, 7, 2, 3, 4, z, 0))),
      _mm_shuffle_epi8(in[2], _mm_setr_epi8(z, 0, z, z, z, z, z, z, z, z, z, z, z, z, z, z)));
  out[2] = _mm_or_si128(
      _mm_shuffle_epi8(in[0], _mm_setr_epi8(z, 12, 13, 14, 9, 10, 11, 6, 7, 8, 3, 4, 5, 0, 1, 2)),
      _mm_shuffle_epi8(in[1], _mm_setr_epi8(1, z, z, z, z, z, z, z, z, z, z, z, z, z, z, z)));
}

// 2 x 2 pixels of 6 bytes: each row's two pixels spread into 8-byte slots,
// the slots transposed, and packed back to 12 bytes. Exactly the block's
// bytes are read and written.
__attribute__((target("ssse3"), always_inline)) inline void Sextets2x2(
    const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  constexpr int8_t z = -128;
  const __m128i spread = _mm_setr_epi8(0, 1, 2, 3, 4, 5, z, z, 6, 7, 8, 9, 10, 11, z, z);
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, z, z, z, z);
  __m128i r[2];
  QT_UNROLL(2)
  for (int k = 0; k < 2; ++k) {
    int32_t last;
    std::memcpy(&last, s + k * ss + 8, 4);
    r[k] = _mm_shuffle_epi8(_mm_unpacklo_epi64(Load8(s + k * ss), _mm_cvtsi32_si128(last)), spread);
  }
  const __m128i o[2] = {_mm_unpacklo_epi64(r[0], r[1]), _mm_unpackhi_epi64(r[0], r[1])};
  QT_UNROLL(2)
  for (int k = 0; k < 2; ++k) {
    const __m128i p = _mm_shuffle_epi8(o[k], pack);
    Store8(d + k * ds, p);
    const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(p, 8));
    std::memcpy(d + k * ds + 8, &last, 4);
  }
}

// 4 x 4 pixels of 6 bytes, as four 2 x 2 blocks.
__attribute__((target("ssse3"))) void Sextets4x4(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d,
                                                  std::ptrdiff_t ds) {
  Sextets2x2(s, ss, d, ds);
  Sextets2x2(s + 12, ss, d + 2 * ds, ds);
  Sextets2x2(s + 2 * ss, ss, d + 12, ds);
  Sextets2x2(s + 2 * ss + 12, ss, d + 2 * ds + 12, ds);
}

__attribute__((target("ssse3"))) void Sextets2x2Block(const uint8_t* s, std::ptrdiff_t ss,
                                                       uint8_t* d, std::ptrdiff_t ds) {
  Sextets2x2(s, ss, d, ds);
}

// The byte shuffles that reverse the order of the units of `kUnit` bytes in
// 48 bytes (three registers): output register k is the OR of input register
// m shuffled by of[k][m] (-128 clears a byte).
template <int kUnit>
struct UnitReversal {
  int8_t of[3][3][16];
  constexpr UnitReversal() : of() {
    constexpr int kUnits = 48 / kUnit;
    for (int j = 0; j < 48; ++j) {
      const int from = (kUnits - 1 - j / kUnit) * kUnit + j % kUnit;
      for (int m = 0; m < 3; ++m) of[j / 16][m][j % 16] = from / 16 == m ? from % 16 : -128;
    }
  }
};
constexpr UnitReversal<6> kSextetReversal;

__attribute__((target("ssse3"), always_inline)) inline void ReversedSextets(const __m128i in[3],
                                                                         __m128i out[3]) {
  QT_UNROLL(3)
  for (int k = 0; k < 3; ++k) {
    __m128i v = _mm_setzero_si128();
    QT_UNROLL(3)
    for (int m = 0; m < 3; ++m) {
      v = _mm_or_si128(v, _mm_shuffle_epi8(in[m], Load(reinterpret_cast<const uint8_t*>(
                                                     kSextetReversal.of[k][m]))));
    }
    out[k] = v;
  }
}

// 8 pixels of 6 bytes (48 bytes) each way, and 16 (96 bytes).
__attribute__((target("ssse3"))) void SwapReversedSextets48Ssse3(uint8_t* p, uint8_t* q) {
  __m128i a[3], b[3], ra[3], rb[3];
  QT_UNROLL(3)
  for (int k = 0; k < 3; ++k) a[k] = Load(p + 16 * k), b[k] = Load(q + 16 * k);
  ReversedSextets(a, ra);
  ReversedSextets(b, rb);
  QT_UNROLL(3)
  for (int k = 0; k < 3; ++k) Store(p + 16 * k, rb[k]), Store(q + 16 * k, ra[k]);
}

__attribute__((target("ssse3"))) void SwapReversedSextetsSsse3(uint8_t* p, uint8_t* q) {
  __m128i a[6], b[6], ra[6], rb[6];
  QT_UNROLL(6)
  for (int k = 0; k < 6; ++k) a[k] = Load(p + 16 * k), b[k] = Load(q + 16 * k);
  ReversedSextets(a, ra + 3);
  ReversedSextets(a + 3, ra);
  ReversedSextets(b, rb + 3);
  ReversedSextets(b + 3, rb);
  QT_UNROLL(6)
  for (int k = 0; k < 6; ++k) Store(p + 16 * k, rb[k]), Store(q + 16 * k, ra[k]);
}

// 32 pixels (96 bytes) each way: two groups of 16 from each end.
__attribute__((target("ssse3"))) void SwapReversedTriples48Ssse3(uint8_t* p, uint8_t* q) {
  __m128i a[3], b[3], ra[3], rb[3];
  QT_UNROLL(3)
  for (int k = 0; k < 3; ++k) a[k] = Load(p + 16 * k), b[k] = Load(q + 16 * k);
  ReversedTriples(a, ra);
  ReversedTriples(b, rb);
  QT_UNROLL(3)
  for (int k = 0; k < 3; ++k) Store(p + 16 * k, rb[k]), Store(q + 16 * k, ra[k]);
}

__attribute__((target("ssse3"))) void SwapReversedTriplesSsse3(uint8_t* p, uint8_t* q) {
  __m128i a[6], b[6], ra[6], rb[6];
  QT_UNROLL(6)
  for (int k = 0; k < 6; ++k) a[k] = Load(p + 16 * k), b[k] = Load(q + 16 * k);
  ReversedTriples(a, ra + 3);
  ReversedTriples(a + 3, ra);
  ReversedTriples(b, rb + 3);
  ReversedTriples(b + 3, rb);
  QT_UNROLL(6)
  for (int k = 0; k < 6; ++k) Store(p + 16 * k, rb[k]), Store(q + 16 * k, ra[k]);
}



}  // namespace

// The lists of each format, for these sets and the wider ones that fall back
// on them (kernel_lists.h).
const ReverseKernel kSseReverseBits1[] = {{SwapReversed64<ReversedSmall<1>>, 64},
                                      {SwapReversed16<ReversedSmall<1>>, 16}, {}};
const ReverseKernel kSseReverseBits4[] = {{SwapReversed64<ReversedSmall<4>>, 64},
                                      {SwapReversed16<ReversedSmall<4>>, 16}, {}};
const ReverseKernel kSseReverseBytes1[] = {{SwapReversed64<ReversedBytes>, 64},
                                       {SwapReversed16<ReversedBytes>, 16}, {}};
const ReverseKernel kSseReverseBytes2[] = {{SwapReversed64<ReversedWords>, 64},
                                       {SwapReversed16<ReversedWords>, 16}, {}};
const ReverseKernel kSseReverseBytes4[] = {{SwapReversed64<ReversedDwords>, 64},
                                       {SwapReversed16<ReversedDwords>, 16}, {}};
const ReverseKernel kSseReverseBytes8[] = {{SwapReversed64<ReversedQwords>, 64},
                                       {SwapReversed16<ReversedQwords>, 16}, {}};
const ReverseKernel kSseReverseNone[] = {{}};
const ReverseKernel kSseReverseBits1Ssse3[] = {{SwapReversedSmallSsse3<1>, 64},
                                           {SwapReversedSmall16Ssse3<1>, 16}, {}};
const ReverseKernel kSseReverseBits4Ssse3[] = {{SwapReversedSmallSsse3<4>, 64},
                                           {SwapReversedSmall16Ssse3<4>, 16}, {}};
const ReverseKernel kSseReverseBytes1Ssse3[] = {{SwapReversedBytesSsse3, 64},
                                            {SwapReversedBytes16Ssse3, 16}, {}};
const ReverseKernel kSseReverseBytes3Ssse3[] = {{SwapReversedTriplesSsse3, 96},
                                            {SwapReversedTriples48Ssse3, 48}, {}};
const ReverseKernel kSseReverseBytes6Ssse3[] = {{SwapReversedSextetsSsse3, 96},
                                            {SwapReversedSextets48Ssse3, 48}, {}};

const BlockKernel kSseBits1[] = {{Bits16x128, 128, 16}, {}};
const BlockKernel kSseBits4[] = {{Nibbles16x16, 16, 16}, {}};
const BlockKernel kSseBytes1[] = {{Bytes16x16, 16, 16}, {}};
const BlockKernel kSseBytes2[] = {{Words8x8, 8, 8}, {}};
const BlockKernel kSseBytes3[] = {{Triples8x8, 8, 8}, {Triples4x4Block, 4, 4}, {}};
const BlockKernel kSseBytes4[] = {{Dwords8x8, 8, 8}, {Dwords4x4, 4, 4}, {}};
const BlockKernel kSseBytes6[] = {{Sextets4x4, 4, 4}, {Sextets2x2Block, 2, 2}, {}};
const BlockKernel kSseBytes8[] = {{Qwords4x4, 4, 4}, {Qwords2x2Block, 2, 2}, {}};
const BlockKernel kSseNone[] = {{}};

// Whole tiles of whole-byte pixels go through the staging buffers.
const KernelSet kSse2Kernels = {
    "sse2",
    {kSseBits1, kSseBits4, kSseBytes1, kSseBytes2, kSseNone, kSseBytes4, kSseNone, kSseBytes8},
    {kSseReverseBits1, kSseReverseBits4, kSseReverseBytes1, kSseReverseBytes2, kSseReverseNone,
     kSseReverseBytes4, kSseReverseNone, kSseReverseBytes8},
    {false, false, true, true, false, true, false, true}};
const KernelSet kSsse3Kernels = {
    "sse2+ssse3",
    {kSseBits1, kSseBits4, kSseBytes1, kSseBytes2, kSseBytes3, kSseBytes4, kSseBytes6, kSseBytes8},
    {kSseReverseBits1Ssse3, kSseReverseBits4Ssse3, kSseReverseBytes1Ssse3, kSseReverseBytes2,
     kSseReverseBytes3Ssse3, kSseReverseBytes4, kSseReverseBytes6Ssse3, kSseReverseBytes8},
    {false, false, true, true, false, true, false, true}};

}  // namespace quadturn
