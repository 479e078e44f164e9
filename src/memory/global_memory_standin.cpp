// Stand-in for the Windows global memory service on systems that lack it,
// behaving as the real service does. Fast by default: large blocks are their
// own memory mappings, on huge pages where the system has them, and re-size
// without copying. A strict mode for tests finds what the real service would
// only sometimes show: every re-size that changes a size moves the block,
// unwritten bytes hold a poison pattern, and a freed handle is never valid
// again. Fixed blocks are as on Windows: the handle is the address.
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "standin_seam.h"
#include "quadturn.h"

namespace {

constexpr uint8_t kPoison = 0xA5;
constexpr unsigned kMaxLockCount = 255;     // the count saturates, as on Windows
constexpr std::size_t kMaxBlocks = 65536;   // live movable handles, as on Windows
// Requests past 2 GiB are refused outright, as a 32-bit process's service
// cannot give them (the largest image is 2^31 - 1 bytes); this keeps a
// test's deliberate huge request from paging.
constexpr SIZE_T kMaxBlockBytes = SIZE_T{1} << 31;
// Blocks from this size on are mappings of their own: fresh heap memory of
// that size is as costly to touch, mappings can be put on huge pages, and
// mremap re-sizes them without copying.
constexpr SIZE_T kMapBytes = SIZE_T{1} << 20;
constexpr SIZE_T kHugePage = SIZE_T{2} << 20;

// A movable handle is (generation << 24) | (slot << 4) | kTag. The odd tag
// keeps it from ever equalling a pointer (which is what a fixed block's
// handle is); in strict mode the generation catches a freed handle whose
// slot has since been given to another block.
constexpr uintptr_t kTag = 0x6;
constexpr uintptr_t kTagMask = 0xF;
constexpr int kSlotShift = 4;
constexpr uintptr_t kSlotMask = 0xFFFFF;
constexpr int kGenerationShift = 24;

// Where a block's bytes live.
struct Storage {
  uint8_t* data = nullptr;
  SIZE_T capacity = 0;  // bytes usable at `data`
  bool mapped = false;
};

struct Block {
  Storage storage;          // data null while a movable block is empty (discarded)
  SIZE_T size = 0;
  unsigned locks = 0;       // movable blocks only
  uintptr_t generation = 0;
  bool live = false;
  bool fixed = false;       // GMEM_FIXED: the handle is the address
};

struct FailPlan {
  int countdown[3] = {0, 0, 0};  // per seam::Call, 0 when disarmed
  std::vector<int> any_calls;    // call numbers (of any kind) that fail
  int calls = 0;
};

std::atomic<bool> g_strict{false};
thread_local DWORD t_last_error = 0;
constexpr DWORD kErrorDiscarded = 157;

// Sets the calling thread's last error and returns `result`, as a failing
// Win32 call does.
template <typename T>
T Fail(DWORD error, T result) {
  t_last_error = error;
  return result;
}
std::mutex g_mutex;
std::vector<Block> g_blocks;
std::vector<std::size_t> g_free_slots;
// Every live block's address, for fixed handles and GlobalHandle.
std::unordered_map<const void*, std::size_t> g_by_address;
std::size_t g_live = 0;
FailPlan g_plan;

// Bytes in live blocks other than g_excluded, and their peak.
std::size_t g_tracked_bytes = 0;
std::size_t g_peak_bytes = 0;
HGLOBAL g_excluded = nullptr;

bool Strict() { return g_strict.load(std::memory_order_relaxed); }

// Mappings are whole huge pages: a mapping that ends in part of one gets
// small pages there, and on some machines (virtual ones especially) each
// first touch of a small page costs microseconds.
SIZE_T HugeRound(SIZE_T n) { return (n + kHugePage - 1) / kHugePage * kHugePage; }

// The last large mapping freed in fast mode, kept for the next request of
// about its size: a host turning page after page, and each turn's scratch
// block, then write to warm pages instead of fresh ones, which on some
// machines cost more to fault in than the turn itself. Its pages are handed
// to the system lazily (MADV_FREE), so memory pressure can still take them.
// Caller holds g_mutex.
Storage g_kept;
constexpr SIZE_T kMaxKeptBytes = SIZE_T{64} << 20;

void Unmap(Storage* s) {
  munmap(s->data, s->capacity);
  *s = Storage{};
}

void Keep(Storage* s) {
  if (Strict() || s->capacity > kMaxKeptBytes) {
    Unmap(s);
    return;
  }
  if (g_kept.data != nullptr) Unmap(&g_kept);
#ifdef MADV_FREE
  madvise(s->data, s->capacity, MADV_FREE);
#endif
  g_kept = *s;
  *s = Storage{};
}

// The kept mapping, when it is `length` bytes or at most twice that (cut to
// length), and the bytes need not be zero.
bool TakeKept(SIZE_T length, bool zero, Storage* s) {
  if (zero || Strict() || g_kept.data == nullptr || g_kept.capacity < length ||
      g_kept.capacity / 2 > length) {
    return false;
  }
  if (g_kept.capacity > length &&
      mremap(g_kept.data, g_kept.capacity, length, 0) != MAP_FAILED) {
    g_kept.capacity = length;
  }
  *s = g_kept;
  g_kept = Storage{};
  return true;
}

// A mapping of at least `bytes`, whole huge pages on a huge-page boundary,
// so that the system can back it with huge pages. Its bytes are zero when
// asked.
bool Map(SIZE_T bytes, bool zero, Storage* s) {
  const SIZE_T length = HugeRound(bytes);
  if (TakeKept(length, zero, s)) return true;
  const SIZE_T reserved = length + kHugePage;
  void* p = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  const uintptr_t base = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (base + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
  if (aligned > base) munmap(p, aligned - base);
  const uintptr_t end = base + reserved;
  if (end > aligned + length) munmap(reinterpret_cast<void*>(aligned + length), end - aligned - length);
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
#endif
  s->data = reinterpret_cast<uint8_t*>(aligned);
  s->capacity = length;
  s->mapped = true;
  return true;
}

// New storage for `bytes` (an address of its own even for none), zero-filled
// when asked. Bytes not asked to be zero hold poison in strict mode.
bool Allocate(SIZE_T bytes, bool zero, Storage* s) {
  if (bytes >= kMapBytes) {
    if (!Map(bytes, zero, s)) return false;
  } else {
    void* p = zero ? std::calloc(std::max<SIZE_T>(bytes, 1), 1) : std::malloc(std::max<SIZE_T>(bytes, 1));
    if (p == nullptr) return false;
    *s = Storage{static_cast<uint8_t*>(p), bytes, false};
  }
  if (!zero && Strict()) std::memset(s->data, kPoison, bytes);
  return true;
}

void FreeStorage(Storage* s) {
  if (s->mapped) {
    Keep(s);
  } else {
    std::free(s->data);
  }
  *s = Storage{};
}

// Makes room for `bytes` without moving: within the capacity, or by
// extending a mapping where the addresses behind it are free.
bool GrowInPlace(Storage* s, SIZE_T bytes) {
  if (bytes <= s->capacity) return true;
  if (!s->mapped || Strict()) return false;
  const SIZE_T length = HugeRound(bytes);
  if (mremap(s->data, s->capacity, length, 0) == MAP_FAILED) return false;
  s->capacity = length;
  return true;
}

// Gives memory a shrunken mapping no longer needs back to the system, in
// place. Strict mode keeps it, so that a fixed block's regrowth in place
// does not depend on the addresses behind it staying free.
void ShrinkInPlace(Storage* s, SIZE_T bytes) {
  const SIZE_T length = HugeRound(std::max<SIZE_T>(bytes, 1));
  if (!s->mapped || Strict() || length >= s->capacity) return;
  if (mremap(s->data, s->capacity, length, 0) != MAP_FAILED) s->capacity = length;
}

// Gives the storage room for `bytes`, moving it if it must (and in strict
// mode always), keeping the first min(size, bytes) bytes.
bool Resize(Storage* s, SIZE_T size, SIZE_T bytes) {
  if (!Strict()) {
    if (bytes <= s->capacity) return true;
    if (s->mapped) {
      const SIZE_T length = HugeRound(bytes);
      void* p = mremap(s->data, s->capacity, length, MREMAP_MAYMOVE);
      if (p == MAP_FAILED) return false;
      s->data = static_cast<uint8_t*>(p);
      s->capacity = length;
      return true;
    }
    if (s->data != nullptr && bytes < kMapBytes) {
      void* p = std::realloc(s->data, bytes);
      if (p == nullptr) return false;
      s->data = static_cast<uint8_t*>(p);
      s->capacity = bytes;
      return true;
    }
  }
  Storage moved;
  if (!Allocate(bytes, false, &moved)) return false;
  const SIZE_T kept = std::min(size, bytes);
  if (kept > 0) std::memcpy(moved.data, s->data, kept);
  if (s->data != nullptr) FreeStorage(s);
  *s = moved;
  return true;
}

uintptr_t GenerationMask() {
  return ~uintptr_t{0} >> (kGenerationShift + 1);
}

HGLOBAL MakeHandle(std::size_t slot, uintptr_t generation) {
  return reinterpret_cast<HGLOBAL>((generation << kGenerationShift) |
                                   (uintptr_t{slot} << kSlotShift) | kTag);
}

HGLOBAL HandleOf(std::size_t slot) {
  const Block& b = g_blocks[slot];
  return b.fixed ? static_cast<HGLOBAL>(b.storage.data) : MakeHandle(slot, b.generation);
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

// Changes a block's size to `bytes`, in place or (when `may_move`) moving
// it; bytes added are zero or, in strict mode, poison. Keeps the address
// index current. Caller holds g_mutex.
bool ChangeSize(Block* b, SIZE_T bytes, bool may_move, bool zero) {
  Storage& s = b->storage;
  const bool moves = may_move && (Strict() || bytes > s.capacity);
  if (moves || s.data == nullptr) {
    const void* old = s.data;
    if (s.data == nullptr ? !Allocate(bytes, zero, &s) : !Resize(&s, b->size, bytes)) return false;
    if (old != s.data) {
      if (old != nullptr) g_by_address.erase(old);
      g_by_address[s.data] = SlotOf(b);
    }
  } else if (bytes < b->size) {
    ShrinkInPlace(&s, bytes);
  } else if (!GrowInPlace(&s, bytes)) {
    return false;
  }
  if (bytes > b->size && (zero || Strict())) {
    std::memset(s.data + b->size, zero ? 0 : kPoison, bytes - b->size);
  }
  b->size = bytes;
  return true;
}

void Release(Block* b) {
  if (b->storage.data != nullptr) {
    g_by_address.erase(b->storage.data);
    FreeStorage(&b->storage);
  }
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
  if (ShouldFail(quadturn::seam::Call::kAlloc) || bytes > kMaxBlockBytes || g_live >= kMaxBlocks) {
    return Fail<HGLOBAL>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
  }
  const bool fixed = (flags & GMEM_MOVEABLE) == 0;

  Storage storage;
  // An empty movable block has no bytes; an empty fixed one still needs an
  // address, since that is its handle.
  if ((bytes > 0 || fixed) && !Allocate(bytes, (flags & GMEM_ZEROINIT) != 0, &storage)) {
    return Fail<HGLOBAL>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
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
  b.storage = storage;
  b.size = bytes;
  b.locks = 0;
  if (Strict() || b.generation == 0) {
    b.generation = (b.generation + 1) & GenerationMask();
    if (b.generation == 0) b.generation = 1;
  }
  b.live = true;
  b.fixed = fixed;
  if (storage.data != nullptr) g_by_address[storage.data] = slot;
  ++g_live;
  HGLOBAL h = HandleOf(slot);
  Resized(h, 0, bytes);
  return h;
}

LPVOID WINAPI GlobalLock(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (ShouldFail(quadturn::seam::Call::kLock)) return Fail<LPVOID>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
  Block* b = Find(h);
  if (b == nullptr) return Fail<LPVOID>(ERROR_INVALID_HANDLE, nullptr);
  if (b->storage.data == nullptr) return Fail<LPVOID>(kErrorDiscarded, nullptr);
  // A fixed block keeps no lock count.
  if (!b->fixed && b->locks < kMaxLockCount) ++b->locks;
  return b->storage.data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Block* b = Find(h);
  if (b == nullptr) return Fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
  if (b->fixed) return TRUE;  // as on Windows: nothing to count down
  if (b->locks == 0) return Fail<BOOL>(ERROR_NOT_LOCKED, FALSE);
  --b->locks;
  // As on Windows, the unlock that ends the last lock clears the last error.
  return b->locks != 0 ? TRUE : Fail<BOOL>(NO_ERROR, FALSE);
}

HGLOBAL WINAPI GlobalReAlloc(HGLOBAL h, SIZE_T bytes, UINT flags) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (ShouldFail(quadturn::seam::Call::kReAlloc)) return Fail<HGLOBAL>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
  Block* b = Find(h);
  if (b == nullptr) return Fail<HGLOBAL>(ERROR_INVALID_HANDLE, nullptr);
  if (bytes > kMaxBlockBytes) return Fail<HGLOBAL>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
  const bool moveable = (flags & GMEM_MOVEABLE) != 0;
  const bool zero = (flags & GMEM_ZEROINIT) != 0;

  if (!b->fixed && bytes == 0) {
    // Re-sizing to nothing discards an unlocked block and is refused on a
    // locked one.
    if (!moveable || b->locks > 0) return Fail<HGLOBAL>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    Resized(h, b->size, 0);
    g_by_address.erase(b->storage.data);
    FreeStorage(&b->storage);
    b->size = 0;
    return h;
  }
  if (bytes == b->size) return h;
  // Without GMEM_MOVEABLE a block changes in place or not at all: a shrink
  // keeps its address and the memory behind it, so a growth succeeds as far
  // as that memory reaches. With it a block may move; a fixed block that
  // moves gets a new handle, since its handle is its address, and the old
  // one is gone.
  const SIZE_T before = b->size;
  if (!ChangeSize(b, bytes, moveable, zero)) return Fail<HGLOBAL>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
  HGLOBAL now = HandleOf(SlotOf(b));
  Resized(h, before, 0);
  Resized(now, 0, bytes);
  return now;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Block* b = Find(h);
  if (b == nullptr) return Fail(ERROR_INVALID_HANDLE, h);
  Resized(h, b->size, 0);
  Release(b);
  return nullptr;
}

SIZE_T WINAPI GlobalSize(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Block* b = Find(h);
  return b == nullptr ? Fail<SIZE_T>(ERROR_INVALID_HANDLE, 0) : b->size;
}

UINT WINAPI GlobalFlags(HGLOBAL h) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Block* b = Find(h);
  if (b == nullptr) return Fail<UINT>(ERROR_INVALID_HANDLE, GMEM_INVALID_HANDLE);
  if (b->fixed) return 0;
  return b->locks | (b->storage.data == nullptr ? GMEM_DISCARDED : 0u);
}

HGLOBAL WINAPI GlobalHandle(LPCVOID address) {
  std::lock_guard<std::mutex> guard(g_mutex);
  const auto it = g_by_address.find(address);
  return it == g_by_address.end() ? Fail<HGLOBAL>(ERROR_INVALID_HANDLE, nullptr) : HandleOf(it->second);
}

DWORD WINAPI GetLastError(void) { return t_last_error; }

void WINAPI SetLastError(DWORD error) { t_last_error = error; }

}  // extern "C"

namespace quadturn {
namespace seam {

void SetStrict(bool strict) { g_strict.store(strict); }

bool IsStrict() { return Strict(); }

void FailNth(Call call, int n) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_plan.countdown[static_cast<int>(call)] = n;
  g_plan.calls = 0;
}

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
