// The x86 kernel sets, a file each (kernels_sse2.cpp, kernels_ssse3.cpp,
// kernels_avx2.cpp, kernels_avx512.cpp and kernels_avx512_gfni.cpp), and
// their lists of each format for the wider sets to fall back on where they
// have nothing better.
#ifndef QUADTURN_KERNELS_X86_H
#define QUADTURN_KERNELS_X86_H

#include "kernel_set.h"

namespace quadturn {

// The SSE2 set, the same with SSSE3 for 24-bit pixels and byte shuffles,
// and AVX2 beside them; 64-bit builds also the AVX-512 sets (F, BW and VL;
// and with VBMI and GFNI), null elsewhere.
extern const KernelSet kSse2Kernels;
extern const KernelSet kSsse3Kernels;
extern const KernelSet kAvx2Kernels;
const KernelSet* Avx512Kernels();
const KernelSet* Avx512GfniKernels();

extern const BlockKernel kSseBits1[], kSseBits4[], kSseBytes1[], kSseBytes2[], kSseBytes4[],
    kSseBytes8[], kSseNone[];
extern const BlockKernel kSsse3Bytes3[], kSsse3Bytes6[];
extern const ReverseKernel kSsse3ReverseBytes3[], kSsse3ReverseBytes6[];
extern const BlockKernel kAvx2Bytes1[], kAvx2Bytes2[], kAvx2Bytes4[], kAvx2Bytes8[];

}  // namespace quadturn

#endif  // QUADTURN_KERNELS_X86_H
