// The x86 sets' kernel lists of each format (kernels_x86.cpp: SSE2 and
// SSSE3; kernels_avx2.cpp; kernels_avx512.cpp), for the wider sets to fall back on where they
// have nothing better for a format.
#ifndef QUADTURN_KERNEL_LISTS_H
#define QUADTURN_KERNEL_LISTS_H

#include "kernel_set.h"

namespace quadturn {

extern const BlockKernel kSseBits1[], kSseBits4[], kSseBytes1[], kSseBytes2[], kSseBytes3[],
    kSseBytes4[], kSseBytes6[], kSseBytes8[], kSseNone[];
extern const ReverseKernel kSseReverseBits1[], kSseReverseBits4[], kSseReverseBytes1[],
    kSseReverseBytes2[], kSseReverseBytes4[], kSseReverseBytes8[], kSseReverseNone[],
    kSseReverseBits1Ssse3[], kSseReverseBits4Ssse3[], kSseReverseBytes1Ssse3[],
    kSseReverseBytes3Ssse3[], kSseReverseBytes6Ssse3[];
extern const BlockKernel kAvx2Bytes1[], kAvx2Bytes2[], kAvx2Bytes4[], kAvx2Bytes8[];
extern const ReverseKernel kAvx512ReverseBytes2[], kAvx512ReverseBytes4[],
    kAvx512ReverseBytes8[];

}  // namespace quadturn

#endif  // QUADTURN_KERNEL_LISTS_H
