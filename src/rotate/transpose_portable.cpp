// Processors without a SIMD set of their own use the scalar transposes.
#include "turn_kernels.h"

namespace quadturn {

const TransposeSet* SimdTransposes() { return nullptr; }

}  // namespace quadturn
