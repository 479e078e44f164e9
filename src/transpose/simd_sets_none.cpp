// Processors without a SIMD set of their own use the portable blocks.
#include "kernel_set.h"

namespace quadturn {

const KernelSet* const* SimdKernelSets() {
  static const KernelSet* const kNone[] = {nullptr};
  return kNone;
}

}  // namespace quadturn
