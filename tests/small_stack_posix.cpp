// Small stacks on POSIX systems: a thread created with exactly that stack.
#include <pthread.h>

#include "small_stack.h"

namespace quadturn::test {
namespace {

struct Job {
  const std::function<void()>* call;
  std::size_t used;
};

void* Run(void* arg) {
  auto* job = static_cast<Job*>(arg);
  pthread_attr_t attr;
  void* low = nullptr;
  std::size_t size = 0;
  pthread_getattr_np(pthread_self(), &attr);
  pthread_attr_getstack(&attr, &low, &size);
  pthread_attr_destroy(&attr);
  // (A page above the end, clear of any guard page.)
  job->used = PaintRunAndMeasure(reinterpret_cast<uintptr_t>(low) + 4096, *job->call);
  return nullptr;
}

}  // namespace

std::size_t RunOnSmallStack(std::size_t stack_bytes, const std::function<void()>& call) {
  Job job{&call, 0};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stack_bytes);
  pthread_t thread;
  const bool started = pthread_create(&thread, &attr, Run, &job) == 0;
  pthread_attr_destroy(&attr);
  if (!started) return SIZE_MAX;
  pthread_join(thread, nullptr);
  return job.used;
}

}  // namespace quadturn::test
