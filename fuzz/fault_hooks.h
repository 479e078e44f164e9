// What the fuzz harness can ask of the memory service beyond the Win32 calls:
// making a call fail, and counting live blocks. The stand-in service can do
// both; the real one neither, and there the hooks do nothing.
#ifndef QUADTURN_FUZZ_FAULT_HOOKS_H
#define QUADTURN_FUZZ_FAULT_HOOKS_H

#include <cstddef>

namespace qt_fuzz {

// Makes the a-th and the b-th service call from now fail (0: none).
void FailCalls(int a, int b);
// Disarms any failure.
void Disarm();
// Blocks currently live, or 0 where the service cannot tell.
std::size_t LiveBlocks();

}  // namespace qt_fuzz

#endif  // QUADTURN_FUZZ_FAULT_HOOKS_H
