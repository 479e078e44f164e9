// Stand-in for the Windows global memory service on systems that lack it.
// It behaves as the real service does and is stricter wherever that finds
// bugs: handles carry a generation and are checked, a re-size that changes the
// size always moves the block, and unwritten bytes hold a poison pattern.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "block_seam.h"
#include "quadturn.h"

namespace {

constexpr uint8_t kPoison = 0xA5;
constexpr unsigned kMaxLockCount = 255;     // the count saturates, as on Windows
constexpr std::size_t kMaxBlocks = 65536;   // live movable handles, as on Windows
// Refused outright, like the real service refuses requests of 1 GiB and more
// on 32-bit Windows; keeps a test's deliberate huge request from paging.
constexpr SIZE_T kMaxBlockBytes = SIZE_T{1} << 31;

// A handle is (generation << 24) | (slot << 4) | kTag. The odd tag keeps it
// from ever equalling a pointer, and the generation catches a freed handle
// whose slot has since been given to another block.
constexpr uintptr_t kTag = 0x6;
constexpr uintptr_t kTagMask = 0xF;
constexpr int kSlotShift = 4;
constexpr uintptr_t kSlotMask = 0xFFFFF;
constexpr int kGenerationShift = 24;

struct Block {
  uint8_t* data = nullptr;  // null while the block is empty (discarded)
  SIZE_T size = 0;
  unsigned locks = 0;
  uintptr_t generation = 0;
  bool live = false;
};

struct FailPlan {
  int countdown[3] = {0, 0, 0};  // per seam::Call, 0 when disarmed
  int any_countdown = 0;
  int calls = 0;
};

std::mutex g_mutex;
std::vector<Block> g_blocks;
std::vector<std::size_t> g_free_slots;
std::size_t g_live = 0;
FailPlan g_plan;

// Bytes in live blocks other than g_excluded, and their peak.
std::size_t g_tracked_bytes = 0;
std::size_t g_peak_bytes = 0;
HGLOBAL g_excluded = nullptr;

uintptr_t GenerationMask() {
  return ~uintptr_t{0} >> (kGenerationShift + 1);
}

HGLOBAL MakeHandle(std::size_t slot, uintptr_t generation) {
  return reinterpret_cast<HGLOBAL>((generation << kGenerationShift) |
                                   (uintptr_t{slot} << kSlotShift) | kTag);
}

// The live block a handle names, or null for anything else. Caller holds
// g_mutex.
Block* Find(HGLOBAL h) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if ((v & kTagMask) != kTag) return nullptr;
  const std::size_t slot = (v >> kSlotShift) & kSlotMask;
  if (slot >= g_blocks.size()) return nullptr;
  Block& b = g_blocks[slot];
  if (!b.live || b.generation != (v >> kGenerationShift)) return nullptr;
  return &b;
}

// Records a change in the size of the block named h. Caller holds g_mutex.
void Resized(HGLOBAL h, SIZE_T from, SIZE_T to) {
  if (h == g_excluded) return;
  g_tracked_bytes = g_tracked_bytes - from + to;
  if (g_tracked_bytes > g_peak_bytes) g_peak_bytes = g_tracked_bytes;
}

// Counts a call of a kind that can fail and says whether this one must.
// Caller holds g_mutex.
bool ShouldFail(quadturn::seam::Call call) {
  ++g_plan.calls;
  bool fail = false;
  int& n = g_plan.countdown[static_cast<int>(call)];
  if (n > 0 && --n == 0) fail = true;
  if (g_plan.any_countdown > 0 && --g_plan.any_countdown == 0) fail = true;
  return fail;
}

// New bytes: zeros on request, otherwise poison so an unwritten byte shows.
uint8_t* NewBytes(SIZE_T size, bool zero) {
  auto* p = static_cast<uint8_t*>(std::malloc(size));
  if (p != nullptr) std::memset(p, zero ? 0 : kPoison, size);
  return p;
}

}  // namespace

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (ShouldFail(quadturn::seam::Call::kAlloc)) return nullptr;
  if ((flags & GMEM_MOVEABLE) == 0 || bytes > kMaxBlockBytes) return nullptr;
  if (g_live >= kMaxBlocks) return nullptr;

  uint8_t* data = nullptr;
  if (bytes > 0) {
    data = NewBytes(bytes, (flags & GMEM_ZEROINIT) != 0);
    if (data == nullptr) return nullptr;
  }
  std::size_t slot;
  if (!g_free_slots.empty()) {
    slot = g_free_slots.back();
    g_free_slots.pop_back();
  } else {
    slot = g_blocks.size();
    g_blocks.emplace_back();
  }
  Block& b = g_blocks[slot];
  b.data = data;
  b.size = bytes;
  b.locks = 0;
  b.generation = (b.generation + 1) & GenerationMask();
  if (b.generation == 0) b.generation = 1;
  b.live = true;
  ++g_live;
  HGLOBAL h = MakeHandle(slot, b.generation);
  Resized(h, 0, bytes);
  return h;
}

LPVOID WINAPI GlobalLock(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (ShouldFail(quadturn::seam::Call::kLock)) return nullptr;
  Block* b = Find(h);
  if (b == nullptr || b->data == nullptr) return nullptr;
  if (b->locks < kMaxLockCount) ++b->locks;
  return b->data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Block* b = Find(h);
  if (b == nullptr || b->locks == 0) return FALSE;
  --b->locks;
  return b->locks != 0;
}

HGLOBAL WINAPI GlobalReAlloc(HGLOBAL h, SIZE_T bytes, UINT flags) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (ShouldFail(quadturn::seam::Call::kReAlloc)) return nullptr;
  Block* b = Find(h);
  if (b == nullptr || bytes > kMaxBlockBytes) return nullptr;
  const bool moveable = (flags & GMEM_MOVEABLE) != 0;

  if (bytes == 0) {
    // Re-sizing to nothing discards an unlocked block and is refused on a
    // locked one.
    if (!moveable || b->locks > 0) return nullptr;
    Resized(h, b->size, 0);
    std::free(b->data);
    b->data = nullptr;
    b->size = 0;
    return h;
  }
  if (bytes == b->size) return h;
  if (!moveable) {
    // Without GMEM_MOVEABLE the block may only change in place: a shrink
    // keeps its address, a growth would need a move and is refused.
    if (bytes > b->size) return nullptr;
    Resized(h, b->size, bytes);
    b->size = bytes;
    return h;
  }
  // Always move, locked or not, so an address kept across a re-size is
  // caught; the first min(old, new) bytes come along, the rest is new.
  auto* moved = static_cast<uint8_t*>(std::malloc(bytes));
  if (moved == nullptr) return nullptr;
  const SIZE_T kept = bytes < b->size ? bytes : b->size;
  if (kept > 0) std::memcpy(moved, b->data, kept);
  std::memset(moved + kept, (flags & GMEM_ZEROINIT) != 0 ? 0 : kPoison, bytes - kept);
  std::free(b->data);
  Resized(h, b->size, bytes);
  b->data = moved;
  b->size = bytes;
  return h;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Block* b = Find(h);
  if (b == nullptr) return h;
  Resized(h, b->size, 0);
  std::free(b->data);
  b->data = nullptr;
  b->size = 0;
  b->locks = 0;
  b->live = false;
  --g_live;
  g_free_slots.push_back(static_cast<std::size_t>(b - g_blocks.data()));
  return nullptr;
}

SIZE_T WINAPI GlobalSize(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Block* b = Find(h);
  return b == nullptr ? 0 : b->size;
}

UINT WINAPI GlobalFlags(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Block* b = Find(h);
  if (b == nullptr) return GMEM_INVALID_HANDLE;
  return b->locks | (b->data == nullptr ? GMEM_DISCARDED : 0u);
}

}  // extern "C"

namespace quadturn {
namespace seam {

void FailNth(Call call, int n) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_plan.countdown[static_cast<int>(call)] = n;
  g_plan.calls = 0;
}

void FailNthOfAny(int n) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_plan.any_countdown = n;
  g_plan.calls = 0;
}

void Disarm() {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_plan = FailPlan{};
}

int CallsSinceArmed() {
  std::lock_guard<std::mutex> guard(g_mutex);
  return g_plan.calls;
}

std::size_t LiveBlocks() {
  std::lock_guard<std::mutex> guard(g_mutex);
  return g_live;
}

void TrackPeakBytes(void* excluded) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_excluded = static_cast<HGLOBAL>(excluded);
  g_tracked_bytes = 0;
  for (std::size_t slot = 0; slot < g_blocks.size(); ++slot) {
    const Block& b = g_blocks[slot];
    if (b.live && MakeHandle(slot, b.generation) != g_excluded) g_tracked_bytes += b.size;
  }
  g_peak_bytes = g_tracked_bytes;
}

std::size_t PeakTrackedBytes() {
  std::lock_guard<std::mutex> guard(g_mutex);
  return g_peak_bytes;
}

}  // namespace seam
}  // namespace quadturn
