// AVX-512 (F, BW and VL) block reversals of 64 bytes; the transposes are
// AVX2's and SSE's, whose blocks already keep the loads and stores busy.
// Built for AVX-512 (this file alone): run only where simd_sets_x86.cpp found
// the processor and the system ready for it.
#include <immintrin.h>

#include "kernel_lists.h"
#include "kernel_set.h"
#include "unroll.h"

namespace quadturn {
namespace {

inline __m512i Load64(const uint8_t* p) { return _mm512_loadu_si512(p); }
inline void Store64(uint8_t* p, __m512i v) { _mm512_storeu_si512(p, v); }

// The four 16-byte lanes in reverse order after a shuffle within each.
inline __m512i ReversedLanes(__m512i v) { return _mm512_shuffle_i64x2(v, v, 0x1B); }
inline __m512i WithinLanes(__m512i v, __m128i lane) {
  return _mm512_shuffle_epi8(v, _mm512_broadcast_i32x4(lane));
}

inline __m512i ReversedBytes(__m512i v) {
  return ReversedLanes(
      WithinLanes(v, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)));
}
inline __m512i ReversedWords(__m512i v) {
  return _mm512_permutexvar_epi16(
      _mm512_set_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                       21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31),
      v);
}
inline __m512i ReversedDwords(__m512i v) {
  return _mm512_permutexvar_epi32(
      _mm512_set_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15), v);
}
inline __m512i ReversedQwords(__m512i v) {
  return _mm512_permutexvar_epi64(_mm512_set_epi64(0, 1, 2, 3, 4, 5, 6, 7), v);
}
// 1- and 4-bit pixels: the bytes reversed, then a nibble table.
template <int kBits>
inline __m512i ReversedSmall(__m512i v) {
  v = ReversedBytes(v);
  const __m512i low = _mm512_set1_epi8(0x0F);
  const __m512i lo = _mm512_and_si512(v, low), hi = _mm512_and_si512(_mm512_srli_epi16(v, 4), low);
  if (kBits == 4) return _mm512_or_si512(_mm512_slli_epi16(lo, 4), hi);
  const __m512i table = _mm512_broadcast_i32x4(
      _mm_setr_epi8(0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB, 0x7, 0xF));
  return _mm512_or_si512(_mm512_slli_epi16(_mm512_shuffle_epi8(table, lo), 4),
                         _mm512_shuffle_epi8(table, hi));
}

// 128 bytes each way, and 64.
template <__m512i (*kReverse)(__m512i)>
void SwapReversed128(uint8_t* p, uint8_t* q) {
  const __m512i a0 = Load64(p), a1 = Load64(p + 64), b0 = Load64(q), b1 = Load64(q + 64);
  Store64(p, kReverse(b1));
  Store64(p + 64, kReverse(b0));
  Store64(q, kReverse(a1));
  Store64(q + 64, kReverse(a0));
}
template <__m512i (*kReverse)(__m512i)>
void SwapReversed64(uint8_t* p, uint8_t* q) {
  const __m512i a = Load64(p), b = Load64(q);
  Store64(p, kReverse(b));
  Store64(q, kReverse(a));
}

template <__m512i (*kReverse)(__m512i)>
struct Reversals {
  static constexpr ReverseKernel kList[] = {
      {SwapReversed128<kReverse>, 128}, {SwapReversed64<kReverse>, 64}, {}};
};

}  // namespace

const ReverseKernel kAvx512ReverseBytes2[] = {
    {SwapReversed128<ReversedWords>, 128}, {SwapReversed64<ReversedWords>, 64}, {}};
const ReverseKernel kAvx512ReverseBytes4[] = {
    {SwapReversed128<ReversedDwords>, 128}, {SwapReversed64<ReversedDwords>, 64}, {}};
const ReverseKernel kAvx512ReverseBytes8[] = {
    {SwapReversed128<ReversedQwords>, 128}, {SwapReversed64<ReversedQwords>, 64}, {}};

namespace {

// 24- and 48-bit pixels reverse with SSSE3's shuffles.
const KernelSet kAvx512Set = {
    "avx512",
    {kSseBits1, kSseBits4, kAvx2Bytes1, kAvx2Bytes2, kSseBytes3, kAvx2Bytes4, kSseBytes6,
     kAvx2Bytes8},
    {Reversals<ReversedSmall<1>>::kList, Reversals<ReversedSmall<4>>::kList,
     Reversals<ReversedBytes>::kList, kAvx512ReverseBytes2, kSseReverseBytes3Ssse3,
     kAvx512ReverseBytes4, kSseReverseBytes6Ssse3, kAvx512ReverseBytes8},
    {false, false, true, true, false, true, false, true}};

}  // namespace

const KernelSet* Avx512Kernels() { return &kAvx512Set; }

}  // namespace quadturn
