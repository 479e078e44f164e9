// The one place the turns' kernel set is chosen (kernel_choice.cpp): the
// best SIMD set this processor runs, unless the kernel tests or the
// benchmark force another to compare them.
#ifndef QUADTURN_KERNEL_CHOICE_H
#define QUADTURN_KERNEL_CHOICE_H

#include <initializer_list>

#include "kernel_set.h"

namespace quadturn {

// Forces a set (one of PortableKernels() and SimdKernelSets()); null goes
// back to the automatic choice.
void ChooseKernels(const KernelSet* set);
const KernelSet& ChosenKernels();

// The kernels a driver tries for format f, largest first: set's (its
// `blocks` or its `reverse` lists, as `lists` says), then the portable
// set's, ended by an empty kernel. kMaxLevels holds them all.
constexpr int kMaxLevels = 8;
template <typename Kernel>
void KernelLevels(const KernelSet& set, const Kernel* (KernelSet::*lists)[kFormatCount],
                  Format f, Kernel levels[kMaxLevels]) {
  const KernelSet& portable = PortableKernels();
  int n = 0;
  for (const KernelSet* s : {&set, &portable}) {
    const Kernel* k = (s->*lists)[f.index];
    for (; k != nullptr && k->fn != nullptr && n < kMaxLevels - 1; ++k) levels[n++] = *k;
    if (&set == &portable) break;
  }
  levels[n] = Kernel{};
}

}  // namespace quadturn

#endif  // QUADTURN_KERNEL_CHOICE_H
