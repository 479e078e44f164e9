// Loads and stores of 16 bytes (and of 8) at any address, and streaming
// stores (on 16 bytes), for the SSE2 and SSSE3 kernels, and SSE2's
// reversals of 16 bytes of 2-, 4- and 8-byte pixels with the kernels built
// on them (64 bytes from each end, or 16). Each includes it into its own
// file, built for its own instructions; internal linkage keeps every copy
// there.
#ifndef QUADTURN_SSE_REGISTERS_H
#define QUADTURN_SSE_REGISTERS_H

#include <emmintrin.h>

#include <cstdint>

#include "kernel_shapes.h"

namespace quadturn {
namespace {

inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i Load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void Store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
inline void Stream(uint8_t* p, __m128i v) { _mm_stream_si128(reinterpret_cast<__m128i*>(p), v); }
inline void Fence() { _mm_sfence(); }

inline __m128i ReversedQwords(__m128i v) { return _mm_shuffle_epi32(v, 0x4E); }
inline __m128i ReversedDwords(__m128i v) { return _mm_shuffle_epi32(v, 0x1B); }
inline __m128i ReversedWords(__m128i v) {
  v = _mm_shuffle_epi32(v, 0x1B);
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
}

using Sse = Registers<Load, Store>;

}  // namespace
}  // namespace quadturn

#endif  // QUADTURN_SSE_REGISTERS_H
