// Stand-in for the Windows global memory service on systems that lack it.
// It behaves as the real service does and is stricter wherever that finds
// bugs: movable handles carry a generation and are checked, a re-size that
// changes a movable block's size always moves it, and unwritten bytes hold a
// poison pattern. Fixed blocks are as on Windows: the handle is the address.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
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

// A movable handle is (generation << 24) | (slot << 4) | kTag. The odd tag
// keeps it from ever equalling a pointer (which is what a fixed block's
// handle is), and the generation catches a freed handle whose slot has since
// been given to another block.
constexpr uintptr_t kTag = 0x6;
constexpr uintptr_t kTagMask = 0xF;
constexpr int kSlotShift = 4;
constexpr uintptr_t kSlotMask = 0xFFFFF;
constexpr int kGenerationShift = 24;

struct Block {
  uint8_t* data = nullptr;  // null while a movable block is empty (discarded)
  SIZE_T size = 0;
  SIZE_T capacity = 0;      // bytes at `data`: a fixed block regrows in place up to it
  unsigned locks = 0;       // movable blocks only
  uintptr_t generation = 0;
  bool live = false;
  bool fixed = false;       // GMEM_FIXED: the handle is `data`
};

struct FailPlan {
  int countdown[3] = {0, 0, 0};  // per seam::Call, 0 when disarmed
  std::vector<int> any_calls;    // call numbers (of any kind) that fail
  int calls = 0;
};

std::mutex g_mutex;
std::vector<Block> g_blocks;
std::vector<std::size_t> g_free_slots;
// Every live block's data address, for fixed handles and GlobalHandle.
std::unordered_map<const void*, std::size_t> g_by_address;
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

HGLOBAL HandleOf(std::size_t slot) {
  const Block& b = g_blocks[slot];
  return b.fixed ? static_cast<HGLOBAL>(b.data) : MakeHandle(slot, b.generation);
}

// The live block a handle names, or null for anything else. Caller holds
// g_mutex.
Block* Find(HGLOBAL h) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v == 0) return nullptr;
  if ((v & kTagMask) != kTag) {
    // Not a movable handle: a fixed block's address, or nothing.
    const auto it = g_by_address.find(h);
    if (it == g_by_address.end() || !g_blocks[it->second].fixed) return nullptr;
    return &g_blocks[it->second];
  }
  const std::size_t slot = (v >> kSlotShift) & kSlotMask;
  if (slot >= g_blocks.size()) return nullptr;
  Block& b = g_blocks[slot];
  if (!b.live || b.fixed || b.generation != (v >> kGenerationShift)) return nullptr;
  return &b;
}

std::size_t SlotOf(const Block* b) { return static_cast<std::size_t>(b - g_blocks.data()); }

// Records a change in the size of the block named h. Caller holds g_mutex.
void Resized(HGLOBAL h, SIZE_T from, SIZE_T to) {
  if (h == g_excluded) return;
  g_tracked_bytes = g_tracked_bytes - from + to;
  if (g_tracked_bytes > g_peak_bytes) g_peak_bytes = g_tracked_bytes;
}

// Counts a call of a kind that can fail and says whether this one must.
// Caller holds g_mutex.
bool ShouldFail(quadturn::seam::Call call) {
  const int number = ++g_plan.calls;
  bool fail = false;
  int& n = g_plan.countdown[static_cast<int>(call)];
  if (n > 0 && --n == 0) fail = true;
  const auto& any = g_plan.any_calls;
  if (std::find(any.begin(), any.end(), number) != any.end()) fail = true;
  return fail;
}

// New bytes: zeros on request, otherwise poison so an unwritten byte shows.
// A fixed block of no bytes still needs an address of its own.
uint8_t* NewBytes(SIZE_T size, bool zero) {
  auto* p = static_cast<uint8_t*>(std::malloc(std::max<SIZE_T>(size, 1)));
  if (p != nullptr) std::memset(p, zero ? 0 : kPoison, size);
  return p;
}

// Moves the block's bytes to a new place of `size` bytes, keeping the first
// min(old, new). False when no memory is left; the block is then unchanged.
bool MoveBytes(Block* b, SIZE_T size, bool zero) {
  uint8_t* moved = NewBytes(size, zero);
  if (moved == nullptr) return false;
  const SIZE_T kept = std::min(size, b->size);
  if (kept > 0) std::memcpy(moved, b->data, kept);
  if (b->data != nullptr) g_by_address.erase(b->data);
  std::free(b->data);
  b->data = moved;
  b->capacity = size;
  g_by_address[moved] = SlotOf(b);
  return true;
}

void Release(Block* b) {
  if (b->data != nullptr) g_by_address.erase(b->data);
  std::free(b->data);
  b->data = nullptr;
  b->size = 0;
  b->locks = 0;
  b->live = false;
  --g_live;
  g_free_slots.push_back(SlotOf(b));
}

}  // namespace

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (ShouldFail(quadturn::seam::Call::kAlloc)) return nullptr;
  if (bytes > kMaxBlockBytes || g_live >= kMaxBlocks) return nullptr;
  const bool fixed = (flags & GMEM_MOVEABLE) == 0;

  uint8_t* data = nullptr;
  if (bytes > 0 || fixed) {
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
  b.capacity = bytes;
  b.locks = 0;
  b.generation = (b.generation + 1) & GenerationMask();
  if (b.generation == 0) b.generation = 1;
  b.live = true;
  b.fixed = fixed;
  if (data != nullptr) g_by_address[data] = slot;
  ++g_live;
  HGLOBAL h = HandleOf(slot);
  Resized(h, 0, bytes);
  return h;
}

LPVOID WINAPI GlobalLock(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (ShouldFail(quadturn::seam::Call::kLock)) return nullptr;
  Block* b = Find(h);
  if (b == nullptr || b->data == nullptr) return nullptr;
  // A fixed block keeps no lock count.
  if (!b->fixed && b->locks < kMaxLockCount) ++b->locks;
  return b->data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Block* b = Find(h);
  if (b == nullptr) return FALSE;
  if (b->fixed) return TRUE;  // as on Windows: nothing to count down
  if (b->locks == 0) return FALSE;
  --b->locks;
  return b->locks != 0;
}

HGLOBAL WINAPI GlobalReAlloc(HGLOBAL h, SIZE_T bytes, UINT flags) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (ShouldFail(quadturn::seam::Call::kReAlloc)) return nullptr;
  Block* b = Find(h);
  if (b == nullptr || bytes > kMaxBlockBytes) return nullptr;
  const bool moveable = (flags & GMEM_MOVEABLE) != 0;
  const bool zero = (flags & GMEM_ZEROINIT) != 0;

  if (b->fixed) {
    if (bytes == b->size) return h;
    if (!moveable) {
      // In place only: a shrink keeps the address and the memory behind it,
      // so a growth succeeds as far as that memory reaches and no further.
      if (bytes > b->capacity) return nullptr;
      if (bytes > b->size) std::memset(b->data + b->size, zero ? 0 : kPoison, bytes - b->size);
      Resized(h, b->size, bytes);
      b->size = bytes;
      return h;
    }
    // GMEM_MOVEABLE lets a fixed block move, and then its handle, which is
    // its address, changes: the old one is freed.
    if (!MoveBytes(b, bytes, zero)) return nullptr;
    Resized(h, b->size, 0);
    b->size = bytes;
    HGLOBAL moved = HandleOf(SlotOf(b));
    Resized(moved, 0, bytes);
    return moved;
  }

  if (bytes == 0) {
    // Re-sizing to nothing discards an unlocked block and is refused on a
    // locked one.
    if (!moveable || b->locks > 0) return nullptr;
    Resized(h, b->size, 0);
    if (b->data != nullptr) g_by_address.erase(b->data);
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
  if (!MoveBytes(b, bytes, zero)) return nullptr;
  Resized(h, b->size, bytes);
  b->size = bytes;
  return h;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Block* b = Find(h);
  if (b == nullptr) return h;
  Resized(h, b->size, 0);
  Release(b);
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
  if (b->fixed) return 0;
  return b->locks | (b->data == nullptr ? GMEM_DISCARDED : 0u);
}

HGLOBAL WINAPI GlobalHandle(LPCVOID address) {
  std::lock_guard<std::mutex> guard(g_mutex);
  const auto it = g_by_address.find(address);
  return it == g_by_address.end() ? nullptr : HandleOf(it->second);
}

}  // extern "C"

namespace quadturn {
namespace seam {

void FailNth(Call call, int n) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_plan.countdown[static_cast<int>(call)] = n;
  g_plan.calls = 0;
}

void FailNthOfAny(int n) { FailCallsOfAny({n}); }

void FailCallsOfAny(std::initializer_list<int> calls) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_plan.any_calls.assign(calls.begin(), calls.end());
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
    if (b.live && HandleOf(slot) != g_excluded) g_tracked_bytes += b.size;
  }
  g_peak_bytes = g_tracked_bytes;
}

std::size_t PeakTrackedBytes() {
  std::lock_guard<std::mutex> guard(g_mutex);
  return g_peak_bytes;
}

}  // namespace seam
}  // namespace quadturn
