// The part of the small-stack runner both systems share: paint, run, measure.
#include "small_stack.h"

namespace quadturn::test {

namespace {
constexpr uint8_t kPaint = 0xA5;
}

// Not inlined, so that its frame is its own; painting starts a little below
// it, clear of the few locals it keeps.
__attribute__((noinline)) std::size_t PaintRunAndMeasure(uintptr_t bottom,
                                                         const std::function<void()>& call) {
  const uintptr_t top = reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) - 512;
  // Downwards, a byte at a time: Windows commits a thread's stack one guard
  // page at a time as it is first touched from above.
  for (uintptr_t p = top; p > bottom;) *reinterpret_cast<volatile uint8_t*>(--p) = kPaint;
  call();
  uintptr_t lowest = bottom;
  while (lowest < top && *reinterpret_cast<const volatile uint8_t*>(lowest) == kPaint) ++lowest;
  return top - lowest;
}

}  // namespace quadturn::test
