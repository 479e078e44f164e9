// How a fuzz target reports a broken property: a message, then abort, which
// libFuzzer (and the replay test) take as a finding.
#include <cstdio>
#include <cstdlib>

#include "fault_hooks.h"

namespace quadturn::fuzz {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

}  // namespace quadturn::fuzz
