// The one driver behind every mirror, flip and half turn in place: rows trade
// places whole, and a row's pixels reverse (or trade places reversed with
// another row's) from both ends towards the middle in blocks of the chosen
// set's reversal kernel, then the portable set's, then single pixels. Pixels
// of 1 and 4 bits reverse bytewise, then the row shifts by the unused bits
// the reversal brought to its front.
#include <algorithm>
#include <cstring>

#include "kernel_choice.h"
#include "turn_parts.h"

namespace quadturn {
namespace {

// Two runs trading places: the chosen set's swap, or the portable set's.
SwapRunsFn ChosenSwapRuns() {
  const SwapRunsFn swap = ChosenKernels().swap_runs;
  return swap != nullptr ? swap : PortableKernels().swap_runs;
}

// Bytes with their 1-bit pixels in reverse order, by table: the few bytes
// of a row no block reaches.
struct BitReversal {
  uint8_t of[256];
  constexpr BitReversal() : of() {
    for (int v = 0; v < 256; ++v) {
      int r = 0;
      for (int b = 0; b < 8; ++b) r |= ((v >> b) & 1) << (7 - b);
      of[v] = static_cast<uint8_t>(r);
    }
  }
};
constexpr BitReversal kBitReversal;

// A byte of 1-, 2- or 4-bit pixels with its pixels in reverse order.
inline uint8_t ReversedByte(int bits, uint8_t v) {
  if (bits == 1) return kBitReversal.of[v];
  if (bits == 2) v = static_cast<uint8_t>(((v >> 2) & 0x33) | ((v & 0x33) << 2));
  return static_cast<uint8_t>((v >> 4) | (v << 4));
}

// The units a row reverses in: whole pixels of byte formats, bytes of 1-,
// 2- and 4-bit pixels.
struct Units {
  int bytes;      // of a unit
  int64_t count;  // in a row
};

Units UnitsOf(Format f, int32_t width) {
  const int bits = BitsOf(f);
  if (bits < 8) return {1, RowBytes(f, width)};
  return {bits / 8, width};
}

// How every row of an image reverses, worked out once: rows of one width
// take the same blocks in the same order, and a short row's reversal is
// little more than that choice. Both ends go through the largest of the
// chosen set's blocks (then the portable set's) that fit, then the set's
// kernel for the rest, or else single units. In one row (`same`) the two
// ends stop at the middle; across two rows each runs the whole row.
struct RowPlan {
  struct Step {
    SwapReversedFn fn;
    std::ptrdiff_t bytes;
    std::ptrdiff_t count;
  };
  Format f;
  Units u;
  std::ptrdiff_t n;     // bytes of a row's units
  bool same;
  Step steps[kMaxLevels];
  int step_count = 0;
  ReverseRest rest;  // for what the blocks leave, when the set has one
  SwapRunsFn swap;   // else pixels of whole bytes trade places one by one
};

RowPlan PlanRows(Format f, int32_t width, bool same) {
  RowPlan plan;
  plan.f = f;
  plan.u = UnitsOf(f, width);
  plan.n = static_cast<std::ptrdiff_t>(plan.u.count) * plan.u.bytes;
  plan.same = same;
  plan.swap = ChosenSwapRuns();
  ReverseKernel levels[kMaxLevels];
  KernelLevels(ChosenKernels(), &KernelSet::reverse, f, levels);
  const ReverseRest rest = ChosenKernels().reverse_rest[f.index];
  const std::ptrdiff_t limit = same ? plan.n / 2 : plan.n;
  std::ptrdiff_t done = 0;  // bytes the blocks take from each end
  for (const ReverseKernel* k = levels;; ++k) {
    // What is left: the middle of one row, or a's back with b's front.
    const std::ptrdiff_t left = same ? plan.n - 2 * done : plan.n - done;
    if (rest.fn != nullptr && left <= rest.most) {
      plan.rest = rest;
      break;
    }
    if (k->fn == nullptr) break;
    const std::ptrdiff_t count = (limit - done) / k->bytes;
    if (count == 0) continue;
    plan.steps[plan.step_count++] = {k->fn, k->bytes, count};
    done += count * k->bytes;
  }
  return plan;
}

// Row a's units reversed into row b and b's into a (a == b where the plan
// is for one row: the row reversed in place). The bytes `ahead_a` from
// where a's end is read and `ahead_b` from b's are asked for ahead of time;
// nothing is where both are 0.
void SwapReversedRows(const RowPlan& plan, uint8_t* a, uint8_t* b, std::ptrdiff_t ahead_a,
                      std::ptrdiff_t ahead_b) {
  const std::ptrdiff_t n = plan.n;
  // Bytes done from each end: a's front with b's back.
  std::ptrdiff_t done = 0;
  const bool ahead = ahead_a != 0 || ahead_b != 0;
  for (int s = 0; s < plan.step_count; ++s) {
    const RowPlan::Step& k = plan.steps[s];
    for (std::ptrdiff_t c = 0; c < k.count; ++c, done += k.bytes) {
      // Every line of both blocks' places ahead.
      if (ahead) {
        PrefetchToWrite(a + done + ahead_a, k.bytes);
        PrefetchToWrite(b + n - done - k.bytes + ahead_b, k.bytes);
      }
      k.fn(a + done, b + n - done - k.bytes);
    }
  }
  if (plan.rest.fn != nullptr) {
    const std::ptrdiff_t left = plan.same ? n - 2 * done : n - done;
    if (left > 0) plan.rest.fn(a + done, plan.same ? a + done : b, left);
    return;
  }
  const int bits = BitsOf(plan.f);
  const std::ptrdiff_t end = plan.same ? n / 2 : n;
  for (; done < end; done += plan.u.bytes) {
    uint8_t* p = a + done;
    uint8_t* q = b + n - done - plan.u.bytes;
    if (bits < 8) {
      const uint8_t x = *p;
      *p = ReversedByte(bits, *q);
      *q = ReversedByte(bits, x);
    } else {
      plan.swap(p, q, plan.u.bytes);
    }
  }
  // A middle unit left in a row of an odd count reverses within itself.
  if (plan.same && bits < 8 && plan.u.count % 2 != 0) a[n / 2] = ReversedByte(bits, a[n / 2]);
}

// Shifts a row of 1- or 4-bit pixels towards its start by `shift` bits (the
// padding its reversal moved to the front), eight bytes at a time read as a
// big-endian word.
void ShiftRow(uint8_t* row, std::ptrdiff_t n, int shift) {
  std::ptrdiff_t k = 0;
  for (; k + 8 < n; k += 8) {
    uint64_t word;
    std::memcpy(&word, row + k, 8);
    word = __builtin_bswap64(word);
    word = __builtin_bswap64((word << shift) | (row[k + 8] >> (8 - shift)));
    std::memcpy(row + k, &word, 8);
  }
  for (; k < n; ++k) {
    const unsigned next = k + 1 < n ? row[k + 1] : 0u;
    row[k] = static_cast<uint8_t>((row[k] << shift) | (next >> (8 - shift)));
  }
}

// Images of up to this many bytes stay in the caches from one call to the
// next: asking for their lines ahead only costs instructions (a quarter of
// the mirror of a 1-bit A4 page at 300 dpi, 1.1 MB). Larger ones come from
// memory, where it pays (BENCHMARKS.md, "Mirrors, flips and half turns").
constexpr std::ptrdiff_t kAskAheadFrom = std::ptrdiff_t{2} << 20;

// The unused low bits of a row's last byte (pixels of fewer than 8 bits).
int UnusedBits(Format f, int32_t width) {
  return static_cast<int>(RowBytes(f, width) * 8 - int64_t{width} * f.bits);
}

}  // namespace

void ReverseRows(int bits, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
                 std::ptrdiff_t dst_stride, int32_t width, int32_t height, Reversal r) {
  if (width == 0 || height == 0) return;
  const Format f = FormatOf(bits);
  const RowPlan plan = PlanRows(f, width, true);
  const std::ptrdiff_t bytes = RowBytes(f, width);
  const int unused = UnusedBits(f, width);
  const unsigned keep = (1u << unused) - 1;  // the last byte's bits behind the pixels
  // Each row is copied and then reversed where it lands, while it is in the
  // cache; the bits behind its pixels are put back as they were.
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* to = dst + (r.rows ? height - 1 - y : y) * dst_stride;
    const uint8_t behind = to[bytes - 1];
    std::memcpy(to, src + y * src_stride, bytes);
    if (r.pixels) {
      SwapReversedRows(plan, to, to, 0, 0);
      if (unused != 0) ShiftRow(to, bytes, unused);
    }
    if (unused != 0) to[bytes - 1] = static_cast<uint8_t>((to[bytes - 1] & ~keep) | (behind & keep));
  }
}

void ReverseRowOrder(uint8_t* rows, std::ptrdiff_t stride, int32_t count) {
  const SwapRunsFn swap = ChosenSwapRuns();
  for (int32_t r = 0; r < count / 2; ++r) {
    uint8_t* a = rows + r * stride;
    uint8_t* b = rows + (count - 1 - r) * stride;
    // The next row from the end is asked for ahead: the processor takes a
    // walk that jumps back a row each time for a new one.
    PrefetchToWrite(b - stride, stride);
    swap(a, b, stride);
  }
}

void ReverseInPlace(int bits, uint8_t* rows, std::ptrdiff_t stride, int32_t width,
                    int32_t height, Reversal r, uint8_t pad) {
  // No pixels, however many rows or columns of none: nothing moves, and a
  // row without pixels has no bytes to pad.
  if (width == 0 || height == 0 || (!r.pixels && !r.rows)) return;
  if (!r.pixels) {
    ReverseRowOrder(rows, stride, height);
    PadRows(bits, rows, stride, height, width, pad);
    return;
  }
  const Format f = FormatOf(bits);
  const RowPlan pair = PlanRows(f, width, false), one = PlanRows(f, width, true);
  // A half turn trades each row with its opposite, reversed; the middle row
  // of an odd count, and every row of a mirror, reverses in place. The
  // processor fetches ahead of one stream walking forwards and one walking
  // backwards across the image (a half turn's), but not of a row's two
  // ends, which a mirror walks towards each other: those are asked for at
  // least 8 KiB ahead, in the rows to come. A small image's are in the
  // caches already.
  const bool ask = int64_t{height} * stride >= kAskAheadFrom;
  const int32_t pairs = r.rows ? height / 2 : 0;
  for (int32_t y = 0; y < pairs; ++y) {
    SwapReversedRows(pair, rows + y * stride, rows + (height - 1 - y) * stride, ask ? 512 : 0,
                     ask ? -512 : 0);
  }
  const std::ptrdiff_t ahead = ask ? stride * ((8192 + stride - 1) / stride) : 0;
  for (int32_t y = pairs; y < height - pairs; ++y) {
    uint8_t* row = rows + y * stride;
    SwapReversedRows(one, row, row, ahead, ahead);
  }
  const int shift = UnusedBits(f, width);
  if (shift != 0) {
    for (int32_t y = 0; y < height; ++y) ShiftRow(rows + y * stride, RowBytes(f, width), shift);
  }
  PadRows(bits, rows, stride, height, width, pad);
}

}  // namespace quadturn
