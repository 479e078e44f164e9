// Builds without the AVX-512 kernels (32-bit x86): no such sets.
#include "kernels_x86.h"

namespace quadturn {

const KernelSet* Avx512Kernels() { return nullptr; }
const KernelSet* Avx512GfniKernels() { return nullptr; }

}  // namespace quadturn
