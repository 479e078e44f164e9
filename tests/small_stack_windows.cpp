// Small stacks on Windows: a thread that reserves exactly that stack. Wine
// gives every thread at least 1 MiB whatever is asked, so the thread first
// uses up all but the asked-for bytes of what it has.
#include <windows.h>

#include "small_stack.h"

namespace quadturn::test {
namespace {

struct Job {
  const std::function<void()>* call;
  std::size_t stack_bytes;
  uintptr_t reserved_low;  // the lowest address of the thread's stack
  std::size_t used;
};

// Takes the stack down in 4 KiB frames (each touched, so that the pages are
// committed in order) until `stack_bytes` are left, then runs the call.
__attribute__((noinline)) void UseUpTo(Job* job) {
  volatile uint8_t frame[4096];
  frame[0] = 0;
  const auto here = reinterpret_cast<uintptr_t>(frame);
  if (here > job->reserved_low + job->stack_bytes + sizeof frame) {
    UseUpTo(job);
  } else {
    // The bottom three pages stay unpainted: Windows keeps a guard page and
    // a reserve for its stack-overflow handling there.
    job->used = PaintRunAndMeasure(job->reserved_low + 3 * 4096, *job->call);
  }
  frame[1] = frame[0];  // keeps the frame (and this call) from being folded away
}

DWORD WINAPI Run(LPVOID arg) {
  auto* job = static_cast<Job*>(arg);
  MEMORY_BASIC_INFORMATION region{};
  volatile uint8_t here = 0;
  VirtualQuery(const_cast<uint8_t*>(&here), &region, sizeof region);
  job->reserved_low = reinterpret_cast<uintptr_t>(region.AllocationBase);
  UseUpTo(job);
  return 0;
}

}  // namespace

std::size_t RunOnSmallStack(std::size_t stack_bytes, const std::function<void()>& call) {
  Job job{&call, stack_bytes, 0, 0};
  HANDLE thread = CreateThread(nullptr, stack_bytes, Run, &job,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return SIZE_MAX;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return job.used;
}

}  // namespace quadturn::test
