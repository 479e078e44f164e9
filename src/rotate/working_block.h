// A working block owned by one call: locked at most once, and unlocked and
// released whichever way the call leaves.
#ifndef QUADTURN_WORKING_BLOCK_H
#define QUADTURN_WORKING_BLOCK_H

#include <cstdint>

#include "quadturn.h"

namespace quadturn {

struct WorkingBlock {
  HGLOBAL handle = nullptr;
  uint8_t* bytes = nullptr;  // while locked

  explicit WorkingBlock(HGLOBAL h) : handle(h) {}
  WorkingBlock(const WorkingBlock&) = delete;
  WorkingBlock& operator=(const WorkingBlock&) = delete;
  ~WorkingBlock() {
    Unlock();
    if (handle != nullptr) GlobalFree(handle);
  }

  // Locks the block; true when its bytes can be used. An empty block has no
  // address and needs none, so it is not locked at all.
  bool Lock(SIZE_T size) {
    if (size == 0) return true;
    bytes = static_cast<uint8_t*>(GlobalLock(handle));
    return bytes != nullptr;
  }
  void Unlock() {
    if (bytes != nullptr) GlobalUnlock(handle);
    bytes = nullptr;
  }
};

}  // namespace quadturn

#endif  // QUADTURN_WORKING_BLOCK_H
