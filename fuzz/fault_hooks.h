// What the fuzz targets share: what they can ask of the memory service
// beyond the Win32 calls (making calls fail, counting live blocks: the
// stand-in service can do both, the real one neither, and there the hooks do
// nothing), and how a broken property ends a run.
#ifndef QUADTURN_FUZZ_FAULT_HOOKS_H
#define QUADTURN_FUZZ_FAULT_HOOKS_H

#include <cstddef>

namespace quadturn::fuzz {

// Makes the a-th and the b-th service call from now fail (0: none).
void FailCalls(int a, int b);
// Disarms any failure.
void Disarm();
// Blocks currently live, or 0 where the service cannot tell.
std::size_t LiveBlocks();

// Stops the run with a finding when a property does not hold.
void Check(bool ok, const char* what);

}  // namespace quadturn::fuzz

#endif  // QUADTURN_FUZZ_FAULT_HOOKS_H
