// Which x86 kernel sets this processor runs: CPUID says what the processor
// has, XGETBV whether the operating system saves the registers a set uses
// (a processor with AVX under a system that does not save their upper halves
// must not use them). Built for the baseline processor (on 32-bit x86 only
// the kernels' own files assume more), so that the asking itself runs
// anywhere: a processor without SSE2 gets the portable kernels.
#include <cpuid.h>

#include <atomic>
#include <cstdint>

#include "kernels_x86.h"

namespace quadturn {
namespace {

// How far this processor goes, each level including the ones below it.
enum Level : int { kNone, kSse2, kSsse3, kAvx2, kAvx512, kAvx512Gfni, kUnknown };

// The XCR0 bits for the SSE, AVX and AVX-512 register state.
constexpr uint64_t kSseState = 1u << 1, kAvxState = 1u << 2;
constexpr uint64_t kAvx512State = (1u << 5) | (1u << 6) | (1u << 7);

uint64_t EnabledState() {
  uint32_t lo = 0, hi = 0;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return uint64_t{hi} << 32 | lo;
}

Level Ask() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d) || (d & bit_SSE2) == 0) return kNone;
  if ((c & bit_SSSE3) == 0) return kSse2;
  if ((c & bit_OSXSAVE) == 0 || (c & bit_AVX) == 0) return kSsse3;
  const uint64_t state = EnabledState();
  if ((state & (kSseState | kAvxState)) != (kSseState | kAvxState)) return kSsse3;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d) || (b & bit_AVX2) == 0) return kSsse3;
  const bool avx512 = (b & bit_AVX512F) != 0 && (b & bit_AVX512BW) != 0 &&
                      (b & bit_AVX512VL) != 0 && (state & kAvx512State) == kAvx512State;
  if (!avx512 || Avx512Kernels() == nullptr) return kAvx2;
  return (c & bit_AVX512VBMI) != 0 && (c & bit_GFNI) != 0 ? kAvx512Gfni : kAvx512;
}

// Asked once and kept (threads that ask at once all find the same answer).
std::atomic<int> g_level{kUnknown};

// The sets of each level, best first; filled before the first turn, when
// the library is loaded.
const KernelSet* const kLists[kUnknown][7] = {
    {nullptr},
    {&kSse2Kernels, nullptr},
    {&kSsse3Kernels, &kSse2Kernels, nullptr},
    {&kAvx2Kernels, &kSsse3Kernels, &kSse2Kernels, nullptr},
    {Avx512Kernels(), &kAvx2Kernels, &kSsse3Kernels, &kSse2Kernels, nullptr},
    {Avx512GfniKernels(), Avx512Kernels(), &kAvx2Kernels, &kSsse3Kernels, &kSse2Kernels,
     nullptr},
};

}  // namespace

const KernelSet* const* SimdKernelSets() {
  int level = g_level.load(std::memory_order_relaxed);
  if (level == kUnknown) {
    level = Ask();
    g_level.store(level, std::memory_order_relaxed);
  }
  return kLists[level];
}

}  // namespace quadturn
