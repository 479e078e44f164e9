// Which x86 kernel sets this processor runs, asked of CPUID. Built for the
// baseline processor (on 32-bit x86 only the kernels' own file assumes SSE2),
// so that the asking itself runs anywhere: a processor without SSE2 gets the
// portable kernels.
#include "kernel_set.h"

namespace quadturn {

const KernelSet* const* SimdKernelSets() {
  static const KernelSet* const kWithSsse3[] = {&kSsse3Kernels, &kSse2Kernels, nullptr};
  static const KernelSet* const kSse2Only[] = {&kSse2Kernels, nullptr};
  static const KernelSet* const kNone[] = {nullptr};
  // The compiler's runtime asks CPUID once and keeps the answers; the lists
  // are constants, so nothing here needs a guarded static.
  __builtin_cpu_init();
  if (!__builtin_cpu_supports("sse2")) return kNone;
  return __builtin_cpu_supports("ssse3") ? kWithSsse3 : kSse2Only;
}

}  // namespace quadturn
