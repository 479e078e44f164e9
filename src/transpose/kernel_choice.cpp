// The one place the kernel set is chosen: the best SIMD set this processor
// runs, unless a test or the benchmark forced one.
#include <atomic>

#include "kernel_choice.h"

namespace quadturn {
namespace {

std::atomic<const KernelSet*> g_choice{nullptr};

const KernelSet& Automatic() {
  const KernelSet* best = SimdKernelSets()[0];
  return best != nullptr ? *best : PortableKernels();
}

}  // namespace

void ChooseKernels(const KernelSet* set) { g_choice.store(set); }

const KernelSet& ChosenKernels() {
  const KernelSet* chosen = g_choice.load(std::memory_order_relaxed);
  return chosen != nullptr ? *chosen : Automatic();
}

}  // namespace quadturn
