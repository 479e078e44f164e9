// AVX2 block transposes and reversals for 8-, 16- and 32-bit pixels, the
// SSE kernels for the others. Built for AVX2 (this file alone): run only where
// simd_sets_x86.cpp found the processor and the system ready for it. Two
// rows share a register where a row is 16 bytes, so each step of a transpose
// works on both halves of the block at once.
#include <immintrin.h>

#include "kernels_x86.h"
#include "kernel_shapes.h"
#include "unroll.h"

namespace quadturn {
namespace {

inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m256i Load32(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void Store32(uint8_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
inline void Stream32(uint8_t* p, __m256i v) { _mm256_stream_si256(reinterpret_cast<__m256i*>(p), v); }
inline void Fence() { _mm_sfence(); }
// Rows a and b of 16 bytes in the low and high half.
inline __m256i Pair(const uint8_t* a, const uint8_t* b) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(Load(a)), Load(b), 1);
}
// The low and high half to rows a and b.
inline void StorePair(uint8_t* a, uint8_t* b, __m256i v) {
  Store(a, _mm256_castsi256_si128(v));
  Store(b, _mm256_extracti128_si256(v, 1));
}

// 16 x 16 bytes: rows k and k+8 in register k; three unpack stages leave
// each half holding two columns of eight rows, and a qword shuffle puts
// each column's sixteen bytes together.
void Bytes16x16(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  __m256i r[8], a[8], b[8];
  QT_UNROLL(8)
  for (int k = 0; k < 8; ++k) r[k] = Pair(s + k * ss, s + (k + 8) * ss);
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) {
    a[2 * k] = _mm256_unpacklo_epi8(r[2 * k], r[2 * k + 1]);
    a[2 * k + 1] = _mm256_unpackhi_epi8(r[2 * k], r[2 * k + 1]);
  }
  // b[4h + 2k + x]: columns 8k + 4x .. 8k + 4x + 3 of rows 4h..4h+3.
  QT_UNROLL(2)
  for (int h = 0; h < 2; ++h) {
    QT_UNROLL(2)
    for (int k = 0; k < 2; ++k) {
      b[4 * h + 2 * k] = _mm256_unpacklo_epi16(a[4 * h + k], a[4 * h + 2 + k]);
      b[4 * h + 2 * k + 1] = _mm256_unpackhi_epi16(a[4 * h + k], a[4 * h + 2 + k]);
    }
  }
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) {
    // Columns 4k..4k+3 of all eight rows in each half.
    const __m256i lo = _mm256_unpacklo_epi32(b[k], b[4 + k]);
    const __m256i hi = _mm256_unpackhi_epi32(b[k], b[4 + k]);
    const __m256i c0 = _mm256_permute4x64_epi64(lo, 0xD8), c1 = _mm256_permute4x64_epi64(hi, 0xD8);
    StorePair(d + (4 * k) * ds, d + (4 * k + 1) * ds, c0);
    StorePair(d + (4 * k + 2) * ds, d + (4 * k + 3) * ds, c1);
  }
}

// 8 x 8 pixels of 2 bytes: rows k and k+4 in register k, two unpack stages.
void Words8x8(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  __m256i r[4], a[4];
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) r[k] = Pair(s + k * ss, s + (k + 4) * ss);
  a[0] = _mm256_unpacklo_epi16(r[0], r[1]);
  a[1] = _mm256_unpackhi_epi16(r[0], r[1]);
  a[2] = _mm256_unpacklo_epi16(r[2], r[3]);
  a[3] = _mm256_unpackhi_epi16(r[2], r[3]);
  QT_UNROLL(2)
  for (int h = 0; h < 2; ++h) {
    // Columns 4h..4h+1 and 4h+2..4h+3 of the four rows in each half.
    const __m256i lo = _mm256_permute4x64_epi64(_mm256_unpacklo_epi32(a[h], a[2 + h]), 0xD8);
    const __m256i hi = _mm256_permute4x64_epi64(_mm256_unpackhi_epi32(a[h], a[2 + h]), 0xD8);
    StorePair(d + (4 * h) * ds, d + (4 * h + 1) * ds, lo);
    StorePair(d + (4 * h + 2) * ds, d + (4 * h + 3) * ds, hi);
  }
}

// 8 x 8 pixels of 4 bytes, a row to a register.
void Dwords8x8(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  __m256i r[8], t[8], u[8];
  QT_UNROLL(8)
  for (int k = 0; k < 8; ++k) r[k] = Load32(s + k * ss);
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) {
    t[2 * k] = _mm256_unpacklo_epi32(r[2 * k], r[2 * k + 1]);
    t[2 * k + 1] = _mm256_unpackhi_epi32(r[2 * k], r[2 * k + 1]);
  }
  // u[4h + c]: column c (and c + 4 in the high half) of rows 4h..4h+3.
  QT_UNROLL(2)
  for (int h = 0; h < 2; ++h) {
    u[4 * h + 0] = _mm256_unpacklo_epi64(t[4 * h], t[4 * h + 2]);
    u[4 * h + 1] = _mm256_unpackhi_epi64(t[4 * h], t[4 * h + 2]);
    u[4 * h + 2] = _mm256_unpacklo_epi64(t[4 * h + 1], t[4 * h + 3]);
    u[4 * h + 3] = _mm256_unpackhi_epi64(t[4 * h + 1], t[4 * h + 3]);
  }
  QT_UNROLL(4)
  for (int c = 0; c < 4; ++c) {
    Store32(d + c * ds, _mm256_permute2x128_si256(u[c], u[4 + c], 0x20));
    Store32(d + (c + 4) * ds, _mm256_permute2x128_si256(u[c], u[4 + c], 0x31));
  }
}

// 4 x 4 pixels of 8 bytes: a register a row; qword unpacks pair the rows,
// lane permutes put the columns together. 8 x 8 as four of them.
QT_INLINE void Qwords4x4(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const __m256i r0 = Load32(s), r1 = Load32(s + ss), r2 = Load32(s + 2 * ss), r3 = Load32(s + 3 * ss);
  const __m256i t0 = _mm256_unpacklo_epi64(r0, r1), t1 = _mm256_unpackhi_epi64(r0, r1);
  const __m256i t2 = _mm256_unpacklo_epi64(r2, r3), t3 = _mm256_unpackhi_epi64(r2, r3);
  Store32(d, _mm256_permute2x128_si256(t0, t2, 0x20));
  Store32(d + ds, _mm256_permute2x128_si256(t1, t3, 0x20));
  Store32(d + 2 * ds, _mm256_permute2x128_si256(t0, t2, 0x31));
  Store32(d + 3 * ds, _mm256_permute2x128_si256(t1, t3, 0x31));
}
// Reversals of 32 bytes: a shuffle within each half, then the halves
// exchanged.
inline __m256i ReversedBytes(__m256i v) {
  const __m256i m = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14,
                                     13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, m), 0x4E);
}
inline __m256i ReversedWords(__m256i v) {
  const __m256i m = _mm256_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1, 14, 15,
                                     12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
  return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, m), 0x4E);
}
inline __m256i ReversedDwords(__m256i v) {
  return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
}
inline __m256i ReversedQwords(__m256i v) { return _mm256_permute4x64_epi64(v, 0x1B); }
// 1- and 4-bit pixels: the bytes reversed, then a nibble table.
template <int kBits>
inline __m256i ReversedSmall(__m256i v) {
  v = ReversedBytes(v);
  const __m256i low = _mm256_set1_epi8(0x0F);
  const __m256i lo = _mm256_and_si256(v, low), hi = _mm256_and_si256(_mm256_srli_epi16(v, 4), low);
  if (kBits == 4) return _mm256_or_si256(_mm256_slli_epi16(lo, 4), hi);
  const __m256i table = _mm256_setr_epi8(0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5,
                                         0xD, 0x3, 0xB, 0x7, 0xF, 0x0, 0x8, 0x4, 0xC, 0x2, 0xA,
                                         0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB, 0x7, 0xF);
  return _mm256_or_si256(_mm256_slli_epi16(_mm256_shuffle_epi8(table, lo), 4),
                         _mm256_shuffle_epi8(table, hi));
}

// 128 bytes each way (four registers), and 32.
using Avx2 = Registers<Load32, Store32>;

}  // namespace

const BlockKernel kAvx2Bytes1[] = {{Bytes16x16, 16, 16}, {}};
const BlockKernel kAvx2Bytes2[] = {{Words8x8, 8, 8}, {}};
const BlockKernel kAvx2Bytes4[] = {{Dwords8x8, 8, 8}, {}};
const BlockKernel kAvx2Bytes8[] = {
    {FourBlocks<Qwords4x4, 4, 8>, 8, 8}, {OneBlock<Qwords4x4>, 4, 4}, {}};

// 24- and 48-bit pixels, 1- and 4-bit transposes: the SSE kernels.
const KernelSet kAvx2Kernels = {
    "avx2",
    {kSseBits1, kSseBits4, kAvx2Bytes1, kAvx2Bytes2, kSsse3Bytes3, kAvx2Bytes4, kSsse3Bytes6,
     kAvx2Bytes8},
    {Avx2::kList<ReversedSmall<1>, 4>, Avx2::kList<ReversedSmall<4>, 4>,
     Avx2::kList<ReversedBytes, 4>, Avx2::kList<ReversedWords, 4>, kSsse3ReverseBytes3,
     Avx2::kList<ReversedDwords, 4>, kSsse3ReverseBytes6, Avx2::kList<ReversedQwords, 4>},
    {false, false, true, true, false, true, false, true},
    {},
    Avx2::SwapRuns<SwapWordsAndBytes>,
    Avx2::StreamRows<Stream32, Fence>};

}  // namespace quadturn
