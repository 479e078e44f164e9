// Running a call on a thread with a small stack, as hosts' worker threads
// have, and measuring how much of that stack the call used.
#ifndef QUADTURN_TESTS_SMALL_STACK_H
#define QUADTURN_TESTS_SMALL_STACK_H

#include <cstddef>
#include <cstdint>
#include <functional>

namespace quadturn::test {

// Runs `call` on a new thread that has `stack_bytes` of stack (64 KiB or
// more) and returns the most stack bytes the call used at once.
std::size_t RunOnSmallStack(std::size_t stack_bytes, const std::function<void()>& call);

// What the two system layers share: on the thread's stack, paints what lies
// below this function's frame down to `bottom`, runs the call, and returns
// how far down it changed bytes.
std::size_t PaintRunAndMeasure(uintptr_t bottom, const std::function<void()>& call);

}  // namespace quadturn::test

#endif  // QUADTURN_TESTS_SMALL_STACK_H
