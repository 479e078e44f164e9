// The real service has no seam: no failures are injected, no blocks counted.
#include "fault_hooks.h"

namespace qt_fuzz {

void FailCalls(int, int) {}
void Disarm() {}
std::size_t LiveBlocks() { return 0; }

}  // namespace qt_fuzz
