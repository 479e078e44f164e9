// Portable block transposes: whole-byte pixels of every size in 8 x 8
// blocks, 1-bit pixels in 8 x 8 blocks through a 64-bit word (gathered 64
// rows at a time, so that each destination row gets 8 bytes at once), 2-bit
// pixels in 4 x 4 blocks through a 32-bit word, 4-bit pixels in 8 x 8
// blocks; and block reversals of 8 bytes through 64-bit words (8 pixels of
// 3 bytes and more through buffers).
// Loops are fully unrolled by request, so -O2 builds run them as fast as -O3.
#include <cstring>
#include <utility>

#include "kernel_set.h"
#include "kernel_shapes.h"
#include "unroll.h"

namespace quadturn {
namespace {

template <int kPixelBytes>
void Block8(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  QT_UNROLL(8)
  for (int j = 0; j < 8; ++j) {
    const uint8_t* from = s + j * kPixelBytes;
    uint8_t* to = d + j * ds;
    QT_UNROLL(8)
    for (int i = 0; i < 8; ++i) std::memcpy(to + i * kPixelBytes, from + i * ss, kPixelBytes);
  }
}

// Rows 0..7 of an 8 x 8 bit block in bytes 7..0 of x (row 0 most
// significant), most significant bit first; three delta swaps transpose it,
// leaving column k in byte 7-k.
inline uint64_t Transpose8x8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  x ^= t ^ (t << 28);
  return x;
}

inline uint64_t Gather8(const uint8_t* s, std::ptrdiff_t ss) {
  uint64_t x = 0;
  QT_UNROLL(8)
  for (int r = 0; r < 8; ++r) x |= uint64_t{s[r * ss]} << (56 - 8 * r);
  return x;
}

// 8 rows x 8 pixels: one byte in each of 8 destination rows.
void Bits8x8(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const uint64_t t = Transpose8x8(Gather8(s, ss));
  QT_UNROLL(8)
  for (int k = 0; k < 8; ++k) d[k * ds] = static_cast<uint8_t>(t >> (56 - 8 * k));
}

// 64 rows x 8 pixels: 8 bytes in each of 8 destination rows.
void Bits64x8(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  uint64_t t[8];
  QT_UNROLL(8)
  for (int g = 0; g < 8; ++g) t[g] = Transpose8x8(Gather8(s + 8 * g * ss, ss));
  QT_UNROLL(8)
  for (int k = 0; k < 8; ++k) {
    uint8_t out[8];
    QT_UNROLL(8)
    for (int g = 0; g < 8; ++g) out[g] = static_cast<uint8_t>(t[g] >> (56 - 8 * k));
    std::memcpy(d + k * ds, out, 8);
  }
}

// 8 rows x 8 pixels of 4 bits: four bytes in each of 8 destination rows.
// Source pixel j of a row is the high nibble of byte j/2 for even j.
void Nibbles8x8(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  uint32_t rows[8];
  QT_UNROLL(8)
  for (int i = 0; i < 8; ++i) {
    const uint8_t* r = s + i * ss;
    rows[i] = uint32_t{r[0]} << 24 | uint32_t{r[1]} << 16 | uint32_t{r[2]} << 8 | r[3];
  }
  QT_UNROLL(8)
  for (int j = 0; j < 8; ++j) {
    uint32_t out = 0;
    QT_UNROLL(8)
    for (int i = 0; i < 8; ++i) out |= ((rows[i] >> (28 - 4 * j)) & 0xF) << (28 - 4 * i);
    uint8_t* to = d + j * ds;
    to[0] = static_cast<uint8_t>(out >> 24);
    to[1] = static_cast<uint8_t>(out >> 16);
    to[2] = static_cast<uint8_t>(out >> 8);
    to[3] = static_cast<uint8_t>(out);
  }
}

// 4 rows x 4 pixels of 2 bits: one byte in each of 4 destination rows. Row
// r in byte 3-r of a word; two delta swaps, as for bits, of 2-bit units.
void Crumbs4x4(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  uint32_t x = uint32_t{s[0]} << 24 | uint32_t{s[ss]} << 16 | uint32_t{s[2 * ss]} << 8 | s[3 * ss];
  uint32_t t = (x ^ (x >> 6)) & 0x00CC00CCu;
  x ^= t ^ (t << 6);
  t = (x ^ (x >> 12)) & 0x0000F0F0u;
  x ^= t ^ (t << 12);
  QT_UNROLL(4)
  for (int k = 0; k < 4; ++k) d[k * ds] = static_cast<uint8_t>(x >> (24 - 8 * k));
}

// 2 rows x 2 pixels of 4 bits: one byte in each of 2 destination rows.
void Nibbles2x2(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  const uint8_t a = s[0], b = s[ss];
  d[0] = static_cast<uint8_t>((a & 0xF0) | (b >> 4));
  d[ds] = static_cast<uint8_t>((a << 4) | (b & 0x0F));
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// Eight bytes (as stored, little-endian) with their pixels in reverse order:
// pixels of 1, 2 and 4 bytes, and (kBits 1, 2 or 4) the pixels within each
// byte too.
template <int kPixelBytes, int kBits = 8>
inline uint64_t Reversed(uint64_t v) {
  if (kPixelBytes == 8) return v;
  if (kPixelBytes == 4) return (v << 32) | (v >> 32);
  v = __builtin_bswap64(v);
  if (kPixelBytes == 2) v = ((v >> 8) & 0x00FF00FF00FF00FFull) | ((v & 0x00FF00FF00FF00FFull) << 8);
  if (kBits == 1) v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
  if (kBits <= 2) v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
  if (kBits < 8) v = ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
  return v;
}

template <int kPixelBytes, int kBits = 8>
void SwapReversed8(uint8_t* p, uint8_t* q) {
  const uint64_t a = Load64(p), b = Load64(q);
  Store64(p, Reversed<kPixelBytes, kBits>(b));
  Store64(q, Reversed<kPixelBytes, kBits>(a));
}

// Eight pixels of N bytes each way.
template <int N>
void SwapReversedPixels8(uint8_t* p, uint8_t* q) {
  uint8_t a[8 * N], b[8 * N];
  std::memcpy(a, p, 8 * N);
  std::memcpy(b, q, 8 * N);
  QT_UNROLL(8)
  for (int k = 0; k < 8; ++k) {
    std::memcpy(p + N * k, b + N * (7 - k), N);
    std::memcpy(q + N * k, a + N * (7 - k), N);
  }
}

// The lists of whole-byte pixels of N bytes: 8 x 8 blocks, and reversals of
// 8 bytes where pixels divide them, else of 8 pixels.
template <int N>
struct ByteLists {
  static constexpr BlockKernel kBlocks[] = {{Block8<N>, 8, 8}, {}};
  static constexpr ReverseKernel kReverse[] = {
      {8 % N == 0 ? SwapReversed8<N> : SwapReversedPixels8<N>,
       8 % N == 0 ? 8 : 8 * N},
      {}};
};
template <>
struct ByteLists<0> {
  static constexpr BlockKernel kBlocks[] = {{}};
  static constexpr ReverseKernel kReverse[] = {{}};
};

const ReverseKernel kReverseBits1[] = {{SwapReversed8<1, 1>, 8}, {}};
const ReverseKernel kReverseBits2[] = {{SwapReversed8<1, 2>, 8}, {}};
const ReverseKernel kReverseBits4[] = {{SwapReversed8<1, 4>, 8}, {}};

const BlockKernel kBits1[] = {{Bits64x8, 8, 64}, {Bits8x8, 8, 8}, {}};
const BlockKernel kBits2[] = {{Crumbs4x4, 4, 4}, {}};
const BlockKernel kBits4[] = {{Nibbles8x8, 8, 8}, {Nibbles2x2, 2, 2}, {}};

template <std::size_t... I>
constexpr KernelSet MakePortable(std::index_sequence<I...>) {
  KernelSet set{"portable", {ByteLists<PixelBytesAt(I)>::kBlocks...},
                {ByteLists<PixelBytesAt(I)>::kReverse...}, {}};
  set.blocks[FormatIndex(1)] = kBits1;
  set.blocks[FormatIndex(2)] = kBits2;
  set.blocks[FormatIndex(4)] = kBits4;
  set.reverse[FormatIndex(1)] = kReverseBits1;
  set.reverse[FormatIndex(2)] = kReverseBits2;
  set.reverse[FormatIndex(4)] = kReverseBits4;
  set.swap_runs = SwapWordsAndBytes;
  return set;
}

constexpr KernelSet kPortable = MakePortable(std::make_index_sequence<kFormatCount>());

}  // namespace

const KernelSet& PortableKernels() { return kPortable; }

}  // namespace quadturn
