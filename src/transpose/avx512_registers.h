// Loads and stores of 64 bytes at any address (streaming stores on a
// line), the reversals of 2-, 4- and 8-byte pixels, the reversal kernels
// built on them (128 bytes from each end, or 64), and the masked end of two
// runs swapped, for the two AVX-512 sets. Each includes it into its own
// file, built for its own instructions; internal linkage keeps every copy
// there.
#ifndef QUADTURN_AVX512_REGISTERS_H
#define QUADTURN_AVX512_REGISTERS_H

#include <immintrin.h>

#include <cstdint>

#include "kernel_shapes.h"

namespace quadturn {
namespace {

inline __m512i Load64(const uint8_t* p) { return _mm512_loadu_si512(p); }
inline void Store64(uint8_t* p, __m512i v) { _mm512_storeu_si512(p, v); }
inline void Stream64(uint8_t* p, __m512i v) { _mm512_stream_si512(reinterpret_cast<__m512i*>(p), v); }
inline void Fence() { _mm_sfence(); }

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

using Avx512 = Registers<Load64, Store64>;

// What two runs leave after whole registers, under 64 bytes, in one masked
// step: masked-off bytes are neither read nor written.
inline void SwapMaskedRest(uint8_t* p, uint8_t* q, std::ptrdiff_t n) {
  if (n == 0) return;
  const __mmask64 m = _cvtu64_mask64((uint64_t{1} << n) - 1);
  const __m512i a = _mm512_maskz_loadu_epi8(m, p), b = _mm512_maskz_loadu_epi8(m, q);
  _mm512_mask_storeu_epi8(p, m, b);
  _mm512_mask_storeu_epi8(q, m, a);
}

}  // namespace
}  // namespace quadturn

#endif  // QUADTURN_AVX512_REGISTERS_H
