// SSE2 block transposes and reversals for 1-, 4-, 8-, 16-, 32- and 64-bit
// pixels. SSE2 is the baseline of every x86-64 processor; on 32-bit x86
// this file alone is built for it, and runs only where simd_sets_x86.cpp
// found it. Each kernel turns or reverses exactly one block; the drivers do
// the rest.
#include <emmintrin.h>

#include <cstring>

#include "kernels_x86.h"
#include "sse_registers.h"
#include "kernel_shapes.h"
#include "unroll.h"

namespace quadturn {
namespace {

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

// 2 x 2 pixels of 8 bytes: a register holds two.
QT_INLINE void Qwords2x2(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const __m128i r0 = Load(s), r1 = Load(s + ss);
  Store(d, _mm_unpacklo_epi64(r0, r1));
  Store(d + ds, _mm_unpackhi_epi64(r0, r1));
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

// Reversals of 16 bytes: the pixels in reverse order, and (1 and 4 bits)
// within each byte; a kernel reverses 64 bytes from each end, or 16. (Pixels
// of 2, 4 and 8 bytes: sse_registers.h.)
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

}  // namespace

const BlockKernel kSseBits1[] = {{Bits16x128, 128, 16}, {}};
const BlockKernel kSseBits4[] = {{Nibbles16x16, 16, 16}, {}};
const BlockKernel kSseBytes1[] = {{Bytes16x16, 16, 16}, {}};
const BlockKernel kSseBytes2[] = {{Words8x8, 8, 8}, {}};
const BlockKernel kSseBytes4[] = {{FourBlocks<Dwords4x4, 4, 4>, 8, 8}, {Dwords4x4, 4, 4}, {}};
const BlockKernel kSseBytes8[] = {
    {FourBlocks<Qwords2x2, 2, 8>, 4, 4}, {OneBlock<Qwords2x2>, 2, 2}, {}};
const BlockKernel kSseNone[] = {{}};

// Whole tiles of whole-byte pixels go through the staging buffers.
const KernelSet kSse2Kernels = {
    "sse2",
    {kSseBits1, kSseBits4, kSseBytes1, kSseBytes2, kSseNone, kSseBytes4, kSseNone, kSseBytes8},
    {Sse::kList<ReversedSmall<1>, 4>, Sse::kList<ReversedSmall<4>, 4>, Sse::kList<ReversedBytes, 4>,
     Sse::kList<ReversedWords, 4>, nullptr, Sse::kList<ReversedDwords, 4>, nullptr,
     Sse::kList<ReversedQwords, 4>},
    {false, false, true, true, false, true, false, true},
    {},
    Sse::SwapRuns<SwapWordsAndBytes>,
    Sse::StreamRows<Stream, Fence>};

}  // namespace quadturn
