// Portable transposes: 64 x 64 pixel tiles so that source and destination
// lines stay in cache, and an 8 x 8 bit transpose in a 64-bit word.
#include <algorithm>
#include <cstring>

#include "turn_kernels.h"

namespace quadturn {
namespace {

constexpr int kTile = 64;

template <int kPixelBytes>
void TransposeTiled(const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst,
                    std::ptrdiff_t ds, int w, int h) {
  for (int i0 = 0; i0 < h; i0 += kTile) {
    const int i1 = std::min(h, i0 + kTile);
    for (int j0 = 0; j0 < w; j0 += kTile) {
      const int j1 = std::min(w, j0 + kTile);
      for (int j = j0; j < j1; ++j) {
        const uint8_t* s = src + i0 * ss + j * kPixelBytes;
        uint8_t* d = dst + j * ds + i0 * kPixelBytes;
        for (int i = i0; i < i1; ++i) {
          std::memcpy(d, s, kPixelBytes);
          s += ss;
          d += kPixelBytes;
        }
      }
    }
  }
}

void TransposeBytes(const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst,
                    std::ptrdiff_t ds, int w, int h) {
  TransposeTiled<1>(src, ss, dst, ds, w, h);
}

void TransposeTriples(const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst,
                      std::ptrdiff_t ds, int w, int h) {
  TransposeTiled<3>(src, ss, dst, ds, w, h);
}

// Rows 0..7 of an 8 x 8 bit block in bytes 7..0 of x (row 0 most
// significant), most significant bit first; three delta swaps transpose it.
uint64_t Transpose8x8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  x ^= t ^ (t << 28);
  return x;
}

// Tiles of 64 source rows: each destination row gets up to 8 bytes at once.
void TransposeBits(const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst,
                   std::ptrdiff_t ds, int w, int h) {
  for (int i0 = 0; i0 < h; i0 += 64) {
    const int rows = std::min(64, h - i0);
    const int groups = (rows + 7) / 8;
    for (int b = 0; 8 * b < w; ++b) {
      uint64_t t[8];
      for (int g = 0; g < groups; ++g) {
        uint64_t x = 0;
        const int n = std::min(8, rows - 8 * g);
        const uint8_t* s = src + (i0 + 8 * g) * ss + b;
        for (int r = 0; r < n; ++r, s += ss) x |= uint64_t{*s} << (56 - 8 * r);
        t[g] = Transpose8x8(x);
      }
      const int columns = std::min(8, w - 8 * b);
      for (int k = 0; k < columns; ++k) {
        uint8_t out[8];
        for (int g = 0; g < groups; ++g) {
          out[g] = static_cast<uint8_t>(t[g] >> (56 - 8 * k));
        }
        std::memcpy(dst + (8 * b + k) * ds + i0 / 8, out, groups);
      }
    }
  }
}

}  // namespace

const TransposeSet& ScalarTransposes() {
  static const TransposeSet kSet = {"scalar", TransposeBytes, TransposeTriples,
                                    TransposeBits};
  return kSet;
}

}  // namespace quadturn
