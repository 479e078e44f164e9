// AVX-512 with VBMI and GFNI: 8-bit transposes by two-source byte permutes,
// 1-bit transposes by GF2P8AFFINEQB (an 8 x 8 bit matrix transposed per
// 64-bit lane), and reversals by one byte permute (and the same instruction
// reversing the bits of each byte). Built for these (this file alone): run
// only where simd_sets_x86.cpp found the processor and the system ready.
#include <immintrin.h>

#include <cstring>

#include "avx512_registers.h"
#include "kernels_x86.h"
#include "unroll.h"

namespace quadturn {
namespace {

// Byte indices for the permutes, made once at compile time.
struct Indices {
  alignas(64) uint8_t of[64];
};
template <typename F>
constexpr Indices Make(F f) {
  Indices x{};
  for (int k = 0; k < 64; ++k) x.of[k] = static_cast<uint8_t>(f(k));
  return x;
}
inline __m512i Use(const Indices& x) { return _mm512_load_si512(x.of); }

// Byte 8j + r takes byte 8r + j: an 8 x 8 byte transpose of the 64 bytes.
constexpr Indices kByteTranspose = Make([](int k) { return 8 * (k % 8) + k / 8; });
// 64 bytes in reverse order.
constexpr Indices kByteReversal = Make([](int k) { return 63 - k; });

// 16 x 16 bytes. Four registers of four rows each; the first permutes
// gather eight rows of eight columns column by column (byte 8c + r), the
// second four whole columns of sixteen rows (byte 16c + r).
constexpr Indices kRowsToColumns[2] = {
    Make([](int k) { int c = k / 8, r = k % 8; return r < 4 ? 16 * r + c : 64 + 16 * (r - 4) + c; }),
    Make([](int k) {
      int c = k / 8 + 8, r = k % 8;
      return r < 4 ? 16 * r + c : 64 + 16 * (r - 4) + c;
    })};
constexpr Indices kColumnHalves[2] = {
    Make([](int k) { int c = k / 16, r = k % 16; return r < 8 ? 8 * c + r : 64 + 8 * c + r - 8; }),
    Make([](int k) {
      int c = k / 16 + 4, r = k % 16;
      return r < 8 ? 8 * c + r : 64 + 8 * c + r - 8;
    })};

inline __m512i FourRows(const uint8_t* s, std::ptrdiff_t ss) {
  __m512i v = _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)));
  v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + ss)), 1);
  v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * ss)), 2);
  return _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * ss)), 3);
}

inline void FourRowsOut(uint8_t* d, std::ptrdiff_t ds, __m512i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm512_castsi512_si128(v));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d + ds), _mm512_extracti32x4_epi32(v, 1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * ds), _mm512_extracti32x4_epi32(v, 2));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * ds), _mm512_extracti32x4_epi32(v, 3));
}

void Bytes16x16(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const __m512i z0 = FourRows(s, ss), z1 = FourRows(s + 4 * ss, ss);
  const __m512i z2 = FourRows(s + 8 * ss, ss), z3 = FourRows(s + 12 * ss, ss);
  const __m512i p0 = _mm512_permutex2var_epi8(z0, Use(kRowsToColumns[0]), z1);
  const __m512i p1 = _mm512_permutex2var_epi8(z0, Use(kRowsToColumns[1]), z1);
  const __m512i p2 = _mm512_permutex2var_epi8(z2, Use(kRowsToColumns[0]), z3);
  const __m512i p3 = _mm512_permutex2var_epi8(z2, Use(kRowsToColumns[1]), z3);
  FourRowsOut(d, ds, _mm512_permutex2var_epi8(p0, Use(kColumnHalves[0]), p2));
  FourRowsOut(d + 4 * ds, ds, _mm512_permutex2var_epi8(p0, Use(kColumnHalves[1]), p2));
  FourRowsOut(d + 8 * ds, ds, _mm512_permutex2var_epi8(p1, Use(kColumnHalves[0]), p3));
  FourRowsOut(d + 12 * ds, ds, _mm512_permutex2var_epi8(p1, Use(kColumnHalves[1]), p3));
}

// Eight rows of eight bytes, row r in 64-bit lane r, and back, by scalar
// loads (BENCHMARKS.md: faster than a gather).
inline __m128i TwoRows(const uint8_t* a, const uint8_t* b) {
  int64_t x, y;
  std::memcpy(&x, a, 8);
  std::memcpy(&y, b, 8);
  return _mm_set_epi64x(y, x);
}
inline __m512i EightRows(const uint8_t* s, std::ptrdiff_t ss) {
  __m512i v = _mm512_castsi128_si512(TwoRows(s, s + ss));
  v = _mm512_inserti32x4(v, TwoRows(s + 2 * ss, s + 3 * ss), 1);
  v = _mm512_inserti32x4(v, TwoRows(s + 4 * ss, s + 5 * ss), 2);
  return _mm512_inserti32x4(v, TwoRows(s + 6 * ss, s + 7 * ss), 3);
}
inline void EightRowsOut(uint8_t* d, std::ptrdiff_t ds, __m512i v) {
  alignas(64) uint64_t lanes[8];
  _mm512_store_si512(lanes, v);
  QT_UNROLL(8)
  for (int k = 0; k < 8; ++k) std::memcpy(d + k * ds, &lanes[k], 8);
}

// One stage of an 8 x 8 transpose of 64-bit lanes across eight registers:
// bit `s` of the register index trades places with bit `s` of the lane's.
template <int kBit>
inline void ExchangeBit(__m512i z[8]) {
  constexpr int b = 1 << kBit;
  const __m512i first = _mm512_setr_epi64(
      (0 & b) ? 8 + (0 ^ b) : 0, (1 & b) ? 8 + (1 ^ b) : 1, (2 & b) ? 8 + (2 ^ b) : 2,
      (3 & b) ? 8 + (3 ^ b) : 3, (4 & b) ? 8 + (4 ^ b) : 4, (5 & b) ? 8 + (5 ^ b) : 5,
      (6 & b) ? 8 + (6 ^ b) : 6, (7 & b) ? 8 + (7 ^ b) : 7);
  const __m512i second = _mm512_setr_epi64(
      (0 & b) ? 8 + 0 : (0 | b), (1 & b) ? 8 + 1 : (1 | b), (2 & b) ? 8 + 2 : (2 | b),
      (3 & b) ? 8 + 3 : (3 | b), (4 & b) ? 8 + 4 : (4 | b), (5 & b) ? 8 + 5 : (5 | b),
      (6 & b) ? 8 + 6 : (6 | b), (7 & b) ? 8 + 7 : (7 | b));
  QT_UNROLL(8)
  for (int g = 0; g < 8; ++g) {
    if (g & b) continue;
    const __m512i lo = z[g], hi = z[g | b];
    z[g] = _mm512_permutex2var_epi64(lo, first, hi);
    z[g | b] = _mm512_permutex2var_epi64(lo, second, hi);
  }
}

// 64 rows x 64 pixels of 1 bit. Register g holds source rows 8g..8g+7; a
// byte transpose puts byte j of those rows in lane j, GF2P8AFFINEQB with a
// one-bit-per-byte constant turns each lane's 8 x 8 bits (byte p becomes
// pixel column 8j + p of the eight rows, most significant bit first), an
// 8 x 8 lane transpose across the registers gathers each destination row's
// lanes in one register, and a last byte transpose lays out its bytes.
void Bits64x64(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const __m512i columns = _mm512_set1_epi64(0x0102040810204080ll);
  __m512i z[8];
  QT_UNROLL(8)
  for (int g = 0; g < 8; ++g) {
    const __m512i rows = _mm512_permutexvar_epi8(Use(kByteTranspose), EightRows(s + 8 * g * ss, ss));
    z[g] = _mm512_gf2p8affine_epi64_epi8(columns, rows, 0);
  }
  ExchangeBit<0>(z);
  ExchangeBit<1>(z);
  ExchangeBit<2>(z);
  QT_UNROLL(8)
  for (int j = 0; j < 8; ++j) {
    EightRowsOut(d + 8 * j * ds, ds, _mm512_permutexvar_epi8(Use(kByteTranspose), z[j]));
  }
}

// The GF2P8AFFINEQB matrix whose result bit i is bit from(i) of the byte
// (none where from(i) < 0): row 7 - i of the matrix (byte 7 - i) picks it.
template <typename F>
constexpr uint64_t BitMatrix(F from) {
  uint64_t m = 0;
  for (int i = 0; i < 8; ++i) {
    if (from(i) >= 0) m |= uint64_t{1} << from(i) << (8 * (7 - i));
  }
  return m;
}

// 16 x 16 pixels of 4 bits: rows of 8 bytes, eight to a register (row r
// in 64-bit lane r). Byte k of turned row j holds the pixels j of source
// rows 2k (high nibble) and 2k + 1 (low), which lie in byte j / 2 of those
// rows: two two-source permutes gather those bytes for eight turned rows,
// and GF2P8AFFINEQB, its matrix chosen per lane by the row's parity, moves
// the wanted nibble of each into place.
constexpr Indices kNibbleSources[2][2] = {
    {Make([](int k) { return 16 * (k % 8) + (k / 8) / 2; }),
     Make([](int k) { return 16 * (k % 8) + (8 + k / 8) / 2; })},
    {Make([](int k) { return 16 * (k % 8) + 8 + (k / 8) / 2; }),
     Make([](int k) { return 16 * (k % 8) + 8 + (8 + k / 8) / 2; })}};
constexpr uint64_t kHighStays = BitMatrix([](int i) { return i >= 4 ? i : -1; });
constexpr uint64_t kLowUp = BitMatrix([](int i) { return i >= 4 ? i - 4 : -1; });
constexpr uint64_t kHighDown = BitMatrix([](int i) { return i < 4 ? i + 4 : -1; });
constexpr uint64_t kLowStays = BitMatrix([](int i) { return i < 4 ? i : -1; });

void Nibbles16x16(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const __m512i rows0 = EightRows(s, ss), rows1 = EightRows(s + 8 * ss, ss);
  // Even turned rows take the high nibbles of their bytes, odd ones the low.
  const __m512i first = _mm512_setr_epi64(kHighStays, kLowUp, kHighStays, kLowUp, kHighStays,
                                          kLowUp, kHighStays, kLowUp);
  const __m512i second = _mm512_setr_epi64(kHighDown, kLowStays, kHighDown, kLowStays, kHighDown,
                                           kLowStays, kHighDown, kLowStays);
  QT_UNROLL(2)
  for (int half = 0; half < 2; ++half) {
    const __m512i a = _mm512_permutex2var_epi8(rows0, Use(kNibbleSources[0][half]), rows1);
    const __m512i b = _mm512_permutex2var_epi8(rows0, Use(kNibbleSources[1][half]), rows1);
    EightRowsOut(d + 8 * half * ds, ds,
                 _mm512_or_si512(_mm512_gf2p8affine_epi64_epi8(a, first, 0),
                                 _mm512_gf2p8affine_epi64_epi8(b, second, 0)));
  }
}

// The GF2P8AFFINEQB matrix that puts each byte's pixels of kBits bits in
// reverse order.
template <int kBits>
constexpr uint64_t PixelReversalMatrix() {
  return BitMatrix([](int i) { return 8 - kBits - i / kBits * kBits + i % kBits; });
}
template <int kBits>
inline __m512i WithinBytes(__m512i v) {
  if (kBits == 8) return v;
  return _mm512_gf2p8affine_epi64_epi8(v, _mm512_set1_epi64(PixelReversalMatrix<kBits>()), 0);
}

// Reversals of 64 bytes: one permute; pixels of 1, 2 and 4 bits within
// each byte by GF2P8AFFINEQB.
inline __m512i ReversedBytes(__m512i v) { return _mm512_permutexvar_epi8(Use(kByteReversal), v); }
template <int kBits>
inline __m512i ReversedSmall(__m512i v) {
  return WithinBytes<kBits>(ReversedBytes(v));
}

// 192 bytes of pixels of 3 or 6 bytes in three registers, in reverse order.
// Byte j of the result comes from byte UnitSource(j); each register of the
// result takes the bytes from the first two registers by a two-source
// permute and, where its mask says, those from the third by a masked
// permute over it (which reads the low 6 bits of the same indices).
template <int kUnit>
constexpr int UnitSource(int j) {
  return (192 / kUnit - 1 - j / kUnit) * kUnit + j % kUnit;
}
template <int kUnit>
constexpr Indices kUnitReversal[3] = {Make([](int k) { return UnitSource<kUnit>(k); }),
                                      Make([](int k) { return UnitSource<kUnit>(64 + k); }),
                                      Make([](int k) { return UnitSource<kUnit>(128 + k); })};
template <int kUnit>
constexpr uint64_t FromThird(int r) {
  uint64_t mask = 0;
  for (int k = 0; k < 64; ++k) {
    if (UnitSource<kUnit>(64 * r + k) >= 128) mask |= uint64_t{1} << k;
  }
  return mask;
}
template <int kUnit>
constexpr uint64_t kFromThird[3] = {FromThird<kUnit>(0), FromThird<kUnit>(1), FromThird<kUnit>(2)};

template <int kUnit>
QT_INLINE void ReversedUnits(const __m512i in[3], __m512i out[3]) {
  QT_UNROLL(3)
  for (int r = 0; r < 3; ++r) {
    const __m512i at = Use(kUnitReversal<kUnit>[r]);
    out[r] = _mm512_mask_permutexvar_epi8(_mm512_permutex2var_epi8(in[0], at, in[1]),
                                          kFromThird<kUnit>[r], at, in[2]);
  }
}

// The rest of a row: runs of up to 128 bytes, whole pixels of kUnit bytes
// (or bytes of pixels of kBits bits).
//
// Mostly by two windows of one register width inside each run, one at its
// front and one at its back, read whole: the run's first kL bytes (whole
// pixels) reversed become its last, its last kL its first, and the two
// cover the run where it is at most 2 kL long. Nothing outside the runs is
// read: a load reaching into the bytes the blocks beside it have just
// stored waits for those stores (a masked load too, whatever its mask).
template <int kWidth>
struct Window;
template <>
struct Window<8> {
  using V = __m128i;
  static V Load(const uint8_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  }
  static void Store(uint8_t* p, V v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
  static void Store(uint8_t* p, uint64_t mask, V v) {
    _mm_mask_storeu_epi8(p, static_cast<__mmask16>(mask), v);
  }
  static V Permute(const Indices& x, V v) {
    return _mm_permutexvar_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(x.of)), v);
  }
  static V Affine(V v, uint64_t m) {
    return _mm_gf2p8affine_epi64_epi8(v, _mm_set1_epi64x(static_cast<long long>(m)), 0);
  }
};
template <>
struct Window<16> : Window<8> {
  static V Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  using Window<8>::Store;
};
template <>
struct Window<32> {
  using V = __m256i;
  static V Load(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  static void Store(uint8_t* p, V v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
  }
  static void Store(uint8_t* p, uint64_t mask, V v) {
    _mm256_mask_storeu_epi8(p, static_cast<__mmask32>(mask), v);
  }
  static V Permute(const Indices& x, V v) {
    return _mm256_permutexvar_epi8(_mm256_load_si256(reinterpret_cast<const __m256i*>(x.of)), v);
  }
  static V Affine(V v, uint64_t m) {
    return _mm256_gf2p8affine_epi64_epi8(v, _mm256_set1_epi64x(static_cast<long long>(m)), 0);
  }
};
template <>
struct Window<64> {
  using V = __m512i;
  static V Load(const uint8_t* p) { return Load64(p); }
  static void Store(uint8_t* p, V v) { Store64(p, v); }
  static void Store(uint8_t* p, uint64_t mask, V v) { _mm512_mask_storeu_epi8(p, mask, v); }
  static V Permute(const Indices& x, V v) { return _mm512_permutexvar_epi8(Use(x), v); }
  static V Affine(V v, uint64_t m) {
    return _mm512_gf2p8affine_epi64_epi8(v, _mm512_set1_epi64(static_cast<long long>(m)), 0);
  }
};

// Whole pixels of kUnit bytes in kWidth bytes.
constexpr int WholeBytes(int width, int unit) { return width - width % unit; }
// Byte j of a window stored at the run's front (j < kL) takes the window
// read at its back, byte kWidth - kUnit - kUnit (j / kUnit) + j % kUnit;
// byte kWidth - kL + j of the one stored at its back takes the front's
// byte kL - kUnit - kUnit (j / kUnit) + j % kUnit.
template <int kUnit, int kWidth>
constexpr Indices kToFront = Make([](int j) {
  return j < WholeBytes(kWidth, kUnit) ? kWidth - kUnit - kUnit * (j / kUnit) + j % kUnit : 0;
});
template <int kUnit, int kWidth>
constexpr Indices kToBack = Make([](int k) {
  constexpr int kL = WholeBytes(kWidth, kUnit);
  const int j = k - (kWidth - kL);
  return j >= 0 && k < kWidth ? kL - kUnit - kUnit * (j / kUnit) + j % kUnit : 0;
});

template <int kWidth, int kUnit, int kBits>
QT_INLINE void SwapReversedWindows(uint8_t* p, uint8_t* q, std::ptrdiff_t bytes) {
  using R = Window<kWidth>;
  constexpr int kL = WholeBytes(kWidth, kUnit);
  auto reversed = [](const Indices& x, typename R::V v) {
    v = R::Permute(x, v);
    return kBits == 8 ? v : R::Affine(v, PixelReversalMatrix<kBits>());
  };
  uint8_t* const ends[2] = {p + bytes - kWidth, q + bytes - kWidth};
  const typename R::V p_front = R::Load(p), p_back = R::Load(ends[0]);
  const typename R::V q_front = R::Load(q), q_back = R::Load(ends[1]);
  const typename R::V to_p[2] = {reversed(kToFront<kUnit, kWidth>, q_back),
                                 reversed(kToBack<kUnit, kWidth>, q_front)};
  const typename R::V to_q[2] = {reversed(kToFront<kUnit, kWidth>, p_back),
                                 reversed(kToBack<kUnit, kWidth>, p_front)};
  const int runs = p == q ? 1 : 2;
  for (int r = 0; r < runs; ++r) {
    uint8_t* const at = r == 0 ? p : q;
    const typename R::V* v = r == 0 ? to_p : to_q;
    if constexpr (kL == kWidth) {
      R::Store(at, v[0]);
      R::Store(ends[r], v[1]);
    } else {
      constexpr uint64_t kFirst = (uint64_t{1} << kL) - 1;
      R::Store(at, kFirst, v[0]);
      R::Store(ends[r], kFirst << (kWidth - kL), v[1]);
    }
  }
}

// Otherwise (runs under 8 bytes, and the few lengths two windows miss) in
// two registers loaded and stored through byte masks. Byte j of a run of m
// bytes reversed comes from byte m - kUnit + j % kUnit - kUnit (j / kUnit):
// the offsets are kept modulo 256, and their sum with m - kUnit is exact in
// the low 7 bits that a two-source permute reads.
template <int kUnit>
constexpr Indices kRestOffsets[2] = {
    Make([](int k) { return k % kUnit - kUnit * (k / kUnit); }),
    Make([](int k) { return (k + 64) % kUnit - kUnit * ((k + 64) / kUnit); })};

inline __mmask64 FirstBytes(std::ptrdiff_t n) {
  return n <= 0 ? 0 : n >= 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
}

template <int kUnit, int kBits>
void SwapReversedMasked(uint8_t* p, uint8_t* q, std::ptrdiff_t bytes) {
  const __mmask64 m0 = FirstBytes(bytes), m1 = FirstBytes(bytes - 64);
  const __m512i start = _mm512_set1_epi8(static_cast<char>(bytes - kUnit));
  const __m512i i0 = _mm512_add_epi8(start, Use(kRestOffsets<kUnit>[0]));
  const __m512i i1 = _mm512_add_epi8(start, Use(kRestOffsets<kUnit>[1]));
  const __m512i a0 = _mm512_maskz_loadu_epi8(m0, p), a1 = _mm512_maskz_loadu_epi8(m1, p + 64);
  const __m512i b0 = _mm512_maskz_loadu_epi8(m0, q), b1 = _mm512_maskz_loadu_epi8(m1, q + 64);
  _mm512_mask_storeu_epi8(p, m0, WithinBytes<kBits>(_mm512_permutex2var_epi8(b0, i0, b1)));
  _mm512_mask_storeu_epi8(p + 64, m1, WithinBytes<kBits>(_mm512_permutex2var_epi8(b0, i1, b1)));
  _mm512_mask_storeu_epi8(q, m0, WithinBytes<kBits>(_mm512_permutex2var_epi8(a0, i0, a1)));
  _mm512_mask_storeu_epi8(q + 64, m1, WithinBytes<kBits>(_mm512_permutex2var_epi8(a0, i1, a1)));
}

template <int kUnit, int kBits = 8>
void SwapReversedRest(uint8_t* p, uint8_t* q, std::ptrdiff_t bytes) {
  // The widest window the runs hold, where two of them cover the runs.
  auto covered = [bytes](int width) { return bytes <= 2 * WholeBytes(width, kUnit); };
  if (bytes >= 64) {
    if (covered(64)) return SwapReversedWindows<64, kUnit, kBits>(p, q, bytes);
  } else if (bytes >= 32) {
    if (covered(32)) return SwapReversedWindows<32, kUnit, kBits>(p, q, bytes);
  } else if (bytes >= 16) {
    if (covered(16)) return SwapReversedWindows<16, kUnit, kBits>(p, q, bytes);
  } else if (bytes >= 8) {
    if (covered(8)) return SwapReversedWindows<8, kUnit, kBits>(p, q, bytes);
  }
  SwapReversedMasked<kUnit, kBits>(p, q, bytes);
}

const BlockKernel kBits1[] = {{Bits64x64, 64, 64}, {}};
const BlockKernel kBits4[] = {{Nibbles16x16, 16, 16}, {}};
const BlockKernel kBytes1[] = {{Bytes16x16, 16, 16}, {}};

// Words and dwords as the F and BW set (whose reversals are as good here);
// 2-bit pixels reverse here too, and 3- and 6-byte ones by permutes.
const KernelSet kGfniSet = {
    "avx512+vbmi+gfni",
    {kBits1, kBits4, kBytes1, kAvx2Bytes2, kSsse3Bytes3, kAvx2Bytes4, kSsse3Bytes6, kAvx2Bytes8},
    {Avx512::kList<ReversedSmall<1>, 2>, Avx512::kList<ReversedSmall<4>, 2>,
     Avx512::kList<ReversedBytes, 2>, Avx512::kList<ReversedWords, 2>,
     Avx512::kGroupList<ReversedUnits<3>, 3>, Avx512::kList<ReversedDwords, 2>,
     Avx512::kGroupList<ReversedUnits<6>, 3>, Avx512::kList<ReversedQwords, 2>,
     Avx512::kList<ReversedSmall<2>, 2>},
    {false, false, true, true, false, true, false, true},
    {{SwapReversedRest<1, 1>, 128}, {SwapReversedRest<1, 4>, 128}, {SwapReversedRest<1>, 128},
     {SwapReversedRest<2>, 128}, {SwapReversedRest<3>, 128}, {SwapReversedRest<4>, 128},
     {SwapReversedRest<6>, 128}, {SwapReversedRest<8>, 128}, {SwapReversedRest<1, 2>, 128}},
    Avx512::SwapRuns<SwapMaskedRest>,
    Avx512::StreamRows<Stream64, Fence>};

}  // namespace

const KernelSet* Avx512GfniKernels() { return &kGfniSet; }

}  // namespace quadturn
