// The real service has no seam: no failures are injected, no blocks counted.
#include "fault_hooks.h"

namespace quadturn::fuzz {

void FailCalls(int, int) {}
void Disarm() {}
std::size_t LiveBlocks() { return 0; }

}  // namespace quadturn::fuzz
