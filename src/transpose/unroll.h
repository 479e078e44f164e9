// What the block kernels must not leave to the compiler's optimization level.
// QT_UNROLL unrolls a loop fully: kernels are written as small loops, and
// unrolled their arrays stay in registers at -O2 as at -O3 (GCC at -O2
// otherwise keeps them on the stack).
// QT_INLINE puts a shared step into each kernel: GCC at -O2 calls a step as
// large as a 16 x 16 transpose, passing its registers through memory.
#ifndef QUADTURN_UNROLL_H
#define QUADTURN_UNROLL_H

#define QT_PRAGMA(x) _Pragma(#x)
#define QT_UNROLL(n) QT_PRAGMA(GCC unroll n)
#define QT_INLINE __attribute__((always_inline)) inline

#endif  // QUADTURN_UNROLL_H
