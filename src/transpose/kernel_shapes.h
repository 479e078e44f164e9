// The shapes the SIMD sets' kernels share, written once: a block made of
// four smaller ones, the swap of two runs, rows streamed out past the
// caches, and the reversal kernels
// (registers loaded from both places, reversed, and stored at the other
// place in reverse order). A set gives its steps: its block transposes;
// its loads, stores and how it reverses one register (or a group of them,
// where pixels straddle registers).
// Each set's file is built for its own instructions, and its steps have
// internal linkage, so every instantiation stays in that file.
#ifndef QUADTURN_SWAP_REVERSED_H
#define QUADTURN_SWAP_REVERSED_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernel_set.h"
#include "unroll.h"

namespace quadturn {
namespace {

// Swaps runs shorter than a register: 8 bytes at a time, then single bytes.
// (Internal linkage: each set's file keeps the copy built for it.)
inline void SwapWordsAndBytes(uint8_t* p, uint8_t* q, std::ptrdiff_t n) {
  std::ptrdiff_t k = 0;
  for (; k + 8 <= n; k += 8) {
    uint64_t x, y;
    std::memcpy(&x, p + k, 8);
    std::memcpy(&y, q + k, 8);
    std::memcpy(p + k, &y, 8);
    std::memcpy(q + k, &x, 8);
  }
  for (; k < n; ++k) {
    const uint8_t x = p[k];
    p[k] = q[k];
    q[k] = x;
  }
}

}  // namespace

// A kernel of 2n x 2n pixels of kPixelBytes bytes as four of n x n by
// kQuarter (n = kSide), and a kernel of one call of kBlock: the steps are
// inlined where the set has them as QT_INLINE.
template <auto kQuarter, int kSide, int kPixelBytes>
void FourBlocks(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  constexpr int kBytes = kSide * kPixelBytes;
  kQuarter(s, ss, d, ds);
  kQuarter(s + kBytes, ss, d + kSide * ds, ds);
  kQuarter(s + kSide * ss, ss, d + kBytes, ds);
  kQuarter(s + kSide * ss + kBytes, ss, d + kSide * ds + kBytes, ds);
}
template <auto kBlock>
void OneBlock(const uint8_t* s, std::ptrdiff_t ss, uint8_t* d, std::ptrdiff_t ds) {
  kBlock(s, ss, d, ds);
}

// kLoad and kStore: V (const uint8_t*) and void (uint8_t*, V). (The
// register type comes from them: as a template argument of its own it
// would lose its attributes.)
template <auto kLoad, auto kStore>
struct Registers {
  using V = decltype(kLoad(static_cast<const uint8_t*>(nullptr)));
  static constexpr int kBytes = sizeof(V);

  // kGroups groups of kGroup registers from p and from q: each group
  // reversed by kReverse and stored at the other place, the groups in
  // reverse order. (The loops have at most 16 turns: unrolled in full.)
  template <auto kReverse, int kGroup, int kGroups>
  static void SwapReversedGroups(uint8_t* p, uint8_t* q) {
    constexpr int kCount = kGroup * kGroups;
    V a[kCount], b[kCount], ra[kCount], rb[kCount];
    QT_UNROLL(16)
    for (int k = 0; k < kCount; ++k) a[k] = kLoad(p + kBytes * k), b[k] = kLoad(q + kBytes * k);
    QT_UNROLL(16)
    for (int g = 0; g < kGroups; ++g) {
      kReverse(a + kGroup * g, ra + kGroup * (kGroups - 1 - g));
      kReverse(b + kGroup * g, rb + kGroup * (kGroups - 1 - g));
    }
    QT_UNROLL(16)
    for (int k = 0; k < kCount; ++k) kStore(p + kBytes * k, rb[k]), kStore(q + kBytes * k, ra[k]);
  }

  // Two runs swapped (SwapRunsFn): four registers a step, then one, then
  // kTail (void (uint8_t*, uint8_t*, std::ptrdiff_t)) for what is left.
  template <auto kTail>
  static void SwapRuns(uint8_t* p, uint8_t* q, std::ptrdiff_t n) {
    std::ptrdiff_t k = 0;
    for (; k + 4 * kBytes <= n; k += 4 * kBytes) {
      V a[4], b[4];
      QT_UNROLL(4)
      for (int j = 0; j < 4; ++j) a[j] = kLoad(p + k + kBytes * j), b[j] = kLoad(q + k + kBytes * j);
      QT_UNROLL(4)
      for (int j = 0; j < 4; ++j) kStore(p + k + kBytes * j, b[j]), kStore(q + k + kBytes * j, a[j]);
    }
    for (; k + kBytes <= n; k += kBytes) {
      const V a = kLoad(p + k), b = kLoad(q + k);
      kStore(p + k, b);
      kStore(q + k, a);
    }
    kTail(p + k, q + k, n - k);
  }

  // Rows copied out (StreamRowsFn): to the first cache line boundary as
  // usual, whole lines by kStream (void (uint8_t*, V), an address on a
  // line), the rest as usual; then kFence (void ()) orders the streamed
  // stores.
  template <auto kStream, auto kFence>
  static void StreamRows(uint8_t* to, std::ptrdiff_t ts, const uint8_t* from, std::ptrdiff_t fs,
                         std::ptrdiff_t bytes, int rows) {
    constexpr std::ptrdiff_t kLine = 64;
    for (int r = 0; r < rows; ++r, to += ts, from += fs) {
      const auto address = reinterpret_cast<std::uintptr_t>(to);
      const std::ptrdiff_t head =
          std::min<std::ptrdiff_t>(bytes, static_cast<std::ptrdiff_t>((kLine - address % kLine) % kLine));
      std::memcpy(to, from, static_cast<std::size_t>(head));
      std::ptrdiff_t k = head;
      for (; k + kLine <= bytes; k += kLine) {
        QT_UNROLL(4)
        for (int j = 0; j < kLine / kBytes; ++j) kStream(to + k + kBytes * j, kLoad(from + k + kBytes * j));
      }
      std::memcpy(to + k, from + k, static_cast<std::size_t>(bytes - k));
    }
    kFence();
  }

  // A reversal of one register as one of a group of one.
  template <auto kReverse>
  QT_INLINE static void OneReversed(const V* in, V* out) {
    *out = kReverse(*in);
  }
  template <auto kReverse, int kCount>
  static void SwapReversed(uint8_t* p, uint8_t* q) {
    SwapReversedGroups<OneReversed<kReverse>, 1, kCount>(p, q);
  }

  // A format's list: kLarge registers (or two groups) from each end, then
  // one.
  template <auto kReverse, int kLarge>
  static constexpr ReverseKernel kList[] = {
      {SwapReversed<kReverse, kLarge>, kLarge * kBytes}, {SwapReversed<kReverse, 1>, kBytes}, {}};
  template <auto kReverse, int kGroup>
  static constexpr ReverseKernel kGroupList[] = {
      {SwapReversedGroups<kReverse, kGroup, 2>, 2 * kGroup * kBytes},
      {SwapReversedGroups<kReverse, kGroup, 1>, kGroup * kBytes},
      {}};
};

}  // namespace quadturn

#endif  // QUADTURN_SWAP_REVERSED_H
