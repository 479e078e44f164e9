// Fault hooks on the stand-in service's seam. The fuzzer runs the stand-in in
// its strict mode, where a stale address or an unwritten byte shows.
#include "standin_seam.h"
#include "fault_hooks.h"

namespace quadturn::fuzz {
namespace {

[[maybe_unused]] const bool kStrict = [] {
  quadturn::seam::SetStrict(true);
  return true;
}();

}  // namespace

void FailCalls(int a, int b) { quadturn::seam::FailCallsOfAny({a, b}); }
void Disarm() { quadturn::seam::Disarm(); }
std::size_t LiveBlocks() { return quadturn::seam::LiveBlocks(); }

}  // namespace quadturn::fuzz
