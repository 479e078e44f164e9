// Asks the compiler to unroll a loop fully. Block kernels are written as small
// loops; unrolled, their arrays stay in registers at -O2 as at -O3 (without
// it, GCC at -O2 keeps them on the stack and the kernels run 1.4-2.3x slower).
#ifndef QUADTURN_UNROLL_H
#define QUADTURN_UNROLL_H

#define QT_PRAGMA(x) _Pragma(#x)
#define QT_UNROLL(n) QT_PRAGMA(GCC unroll n)

#endif  // QUADTURN_UNROLL_H
