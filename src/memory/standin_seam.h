// Test seam of the stand-in global memory service: strict mode, making chosen
// calls fail, counting the calls and the live blocks. Not part of the public
// interface.
#ifndef QUADTURN_STANDIN_SEAM_H
#define QUADTURN_STANDIN_SEAM_H

#include <cstddef>
#include <initializer_list>

namespace quadturn {
namespace seam {

// Strict mode, for tests: every re-size that changes a block's size moves it
// (and a fixed block's handle with it), bytes not asked to be zero hold a
// poison pattern, a freed handle is never valid again, and a block grows in
// place only into memory it had. The default is fast.
void SetStrict(bool strict);
bool IsStrict();

// The calls that can be made to fail.
enum class Call { kAlloc, kLock, kReAlloc };

// Makes the n-th call (counting from 1, from now) of `call` fail: GlobalAlloc
// and GlobalReAlloc return NULL leaving everything as it was, GlobalLock
// returns NULL without raising the lock count. n = 0 disarms.
void FailNth(Call call, int n);

// Makes each listed call fail, counting calls of all three kinds together
// from now (numbers from 1; 0 and repeats are ignored).
void FailCallsOfAny(std::initializer_list<int> calls);

// Disarms every failure and restarts the call count.
void Disarm();

// GlobalAlloc, GlobalLock and GlobalReAlloc calls since the last arming.
int CallsSinceArmed();

// Blocks allocated and not yet freed.
std::size_t LiveBlocks();

// Starts tracking the peak of the bytes held in live blocks other than
// `excluded` (the caller's image), from what they hold now.
void TrackPeakBytes(void* excluded);
std::size_t PeakTrackedBytes();

}  // namespace seam
}  // namespace quadturn

#endif  // QUADTURN_STANDIN_SEAM_H
