// Fault hooks on the stand-in service's seam.
#include "block_seam.h"
#include "fault_hooks.h"

namespace qt_fuzz {

void FailCalls(int a, int b) { quadturn::seam::FailCallsOfAny({a, b}); }
void Disarm() { quadturn::seam::Disarm(); }
std::size_t LiveBlocks() { return quadturn::seam::LiveBlocks(); }

}  // namespace qt_fuzz
