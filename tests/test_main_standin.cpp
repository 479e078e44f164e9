// Test entry for the stand-in service: the suites run in its strict mode
// (every re-size moves, poison, checked handles) unless QT_STANDIN=fast asks
// for the default fast one, which CTest runs the turn and failure suites in
// as well.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "standin_seam.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const char* mode = std::getenv("QT_STANDIN");
  quadturn::seam::SetStrict(mode == nullptr || std::strcmp(mode, "fast") != 0);
  return RUN_ALL_TESTS();
}
