// AVX-512 (F, BW and VL) block reversals of 64 bytes; the transposes are
// AVX2's and SSE's, whose blocks already keep the loads and stores busy.
// Built for AVX-512 (this file alone): run only where simd_sets_x86.cpp found
// the processor and the system ready for it.
#include <immintrin.h>

#include "avx512_registers.h"
#include "kernels_x86.h"

namespace quadturn {
namespace {

// The four 16-byte lanes in reverse order after a shuffle within each.
inline __m512i ReversedLanes(__m512i v) { return _mm512_shuffle_i64x2(v, v, 0x1B); }
inline __m512i WithinLanes(__m512i v, __m128i lane) {
  return _mm512_shuffle_epi8(v, _mm512_broadcast_i32x4(lane));
}

inline __m512i ReversedBytes(__m512i v) {
  return ReversedLanes(
      WithinLanes(v, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)));
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

// 24- and 48-bit pixels reverse with SSSE3's shuffles.
const KernelSet kAvx512Set = {
    "avx512",
    {kSseBits1, kSseBits4, kAvx2Bytes1, kAvx2Bytes2, kSsse3Bytes3, kAvx2Bytes4, kSsse3Bytes6,
     kAvx2Bytes8},
    {Avx512::kList<ReversedSmall<1>, 2>, Avx512::kList<ReversedSmall<4>, 2>,
     Avx512::kList<ReversedBytes, 2>, Avx512::kList<ReversedWords, 2>, kSsse3ReverseBytes3,
     Avx512::kList<ReversedDwords, 2>, kSsse3ReverseBytes6, Avx512::kList<ReversedQwords, 2>},
    {false, false, true, true, false, true, false, true},
    {},
    Avx512::SwapRuns<SwapMaskedRest>,
    Avx512::StreamRows<Stream64, Fence>};

}  // namespace

const KernelSet* Avx512Kernels() { return &kAvx512Set; }

}  // namespace quadturn
