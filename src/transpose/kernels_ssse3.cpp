// SSSE3 block transposes and reversals for 24- and 48-bit pixels, and
// byte-shuffle reversals for 1-, 4- and 8-bit pixels; SSE2's kernels for the
// rest. Built for SSSE3 (this file alone): run only where simd_sets_x86.cpp
// found the processor has it.
#include <tmmintrin.h>

#include <cstring>

#include "kernels_x86.h"
#include "sse_registers.h"
#include "kernel_shapes.h"
#include "unroll.h"

namespace quadturn {
namespace {

// Exactly 12 bytes (8, then 4) to the low bytes of a register, and back: a
// row of a block of 3- or 6-byte pixels, and nothing beyond it.
QT_INLINE __m128i Load12(const uint8_t* p) {
  int32_t last;
  std::memcpy(&last, p + 8, 4);
  return _mm_unpacklo_epi64(Load8(p), _mm_cvtsi32_si128(last));
}
QT_INLINE void Store12(uint8_t* p, __m128i v) {
  Store8(p, v);
  const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(v, 8));
  std::memcpy(p + 8, &last, 4);
}

// 4 x 4 pixels of 3 bytes: each row's 4 pixels are spread into 4-byte slots,
// the slots transposed as 32-bit lanes, and packed back to 12 bytes.
QT_INLINE void Triples4x4(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  __m128i r[4];
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) r[k] = _mm_shuffle_epi8(Load12(s + k * ss), spread);
  const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]), t1 = _mm_unpackhi_epi32(r[0], r[1]);
  const __m128i t2 = _mm_unpacklo_epi32(r[2], r[3]), t3 = _mm_unpackhi_epi32(r[2], r[3]);
  const __m128i o[4] = {_mm_unpacklo_epi64(t0, t2), _mm_unpackhi_epi64(t0, t2),
                        _mm_unpacklo_epi64(t1, t3), _mm_unpackhi_epi64(t1, t3)};
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) Store12(d + k * ds, _mm_shuffle_epi8(o[k], pack));
}

// Reversals of 16 bytes by a byte shuffle; 1- and 4-bit pixels with a
// nibble table shuffled too. A kernel reverses 64 bytes from each end, or 16.
QT_INLINE __m128i ReversedBytes(__m128i v) {
  return _mm_shuffle_epi8(v, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
}

// 1- and 4-bit pixels with the bytes and a nibble table shuffled.
template <int kBits>
QT_INLINE __m128i ReversedSmall(__m128i v) {
  v = ReversedBytes(v);
  const __m128i low = _mm_set1_epi8(0x0F);
  const __m128i lo = _mm_and_si128(v, low), hi = _mm_and_si128(_mm_srli_epi16(v, 4), low);
  if (kBits == 4) return _mm_or_si128(_mm_slli_epi16(lo, 4), hi);
  // Each nibble's bits reversed.
  const __m128i table = _mm_setr_epi8(0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5,
                                      0xD, 0x3, 0xB, 0x7, 0xF);
  return _mm_or_si128(_mm_slli_epi16(_mm_shuffle_epi8(table, lo), 4), _mm_shuffle_epi8(table, hi));
}

// 16 pixels of 3 bytes in three registers, in reverse order: each register
// of the result gathers from two or three of the source.
QT_INLINE void ReversedTriples(const __m128i in[3], __m128i out[3]) {
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
QT_INLINE void Sextets2x2(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  constexpr int8_t z = -128;
  const __m128i spread = _mm_setr_epi8(0, 1, 2, 3, 4, 5, z, z, 6, 7, 8, 9, 10, 11, z, z);
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, z, z, z, z);
  __m128i r[2];
  QT_UNROLL(2)
  for (int k = 0; k < 2; ++k) r[k] = _mm_shuffle_epi8(Load12(s + k * ss), spread);
  const __m128i o[2] = {_mm_unpacklo_epi64(r[0], r[1]), _mm_unpackhi_epi64(r[0], r[1])};
  QT_UNROLL(2)
  for (int k = 0; k < 2; ++k) Store12(d + k * ds, _mm_shuffle_epi8(o[k], pack));
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

QT_INLINE void ReversedSextets(const __m128i in[3], __m128i out[3]) {
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

}  // namespace

// 24- and 48-bit pixels: 96 bytes from each end (two groups of three
// registers), or 48.
const ReverseKernel kSsse3ReverseBytes3[] = {
    {Sse::SwapReversedGroups<ReversedTriples, 3, 2>, 96},
    {Sse::SwapReversedGroups<ReversedTriples, 3, 1>, 48}, {}};
const ReverseKernel kSsse3ReverseBytes6[] = {
    {Sse::SwapReversedGroups<ReversedSextets, 3, 2>, 96},
    {Sse::SwapReversedGroups<ReversedSextets, 3, 1>, 48}, {}};
const BlockKernel kSsse3Bytes3[] = {
    {FourBlocks<Triples4x4, 4, 3>, 8, 8}, {OneBlock<Triples4x4>, 4, 4}, {}};
const BlockKernel kSsse3Bytes6[] = {
    {FourBlocks<Sextets2x2, 2, 6>, 4, 4}, {OneBlock<Sextets2x2>, 2, 2}, {}};

const KernelSet kSsse3Kernels = {
    "sse2+ssse3",
    {kSseBits1, kSseBits4, kSseBytes1, kSseBytes2, kSsse3Bytes3, kSseBytes4, kSsse3Bytes6,
     kSseBytes8},
    {Sse::kList<ReversedSmall<1>, 4>, Sse::kList<ReversedSmall<4>, 4>,
     Sse::kList<ReversedBytes, 4>, Sse::kList<ReversedWords, 4>, kSsse3ReverseBytes3,
     Sse::kList<ReversedDwords, 4>, kSsse3ReverseBytes6, Sse::kList<ReversedQwords, 4>},
    {false, false, true, true, false, true, false, true},
    {},
    Sse::SwapRuns<SwapWordsAndBytes>,
    Sse::StreamRows<Stream, Fence>};

}  // namespace quadturn
