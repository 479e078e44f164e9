// The face's one road for every orientation: those that exchange the axes
// by the transposes (a square or another rectangle in place, or a
// rectangle into rows of its own), the others by the reversals; the working
// memory sized, and placed on a cache line, here.
#include <cstring>

#include "kernel_choice.h"
#include "turn_parts.h"

namespace quadturn {
namespace {

// A buffer of `size` bytes at the first aligned address from `at` on,
// inside BufferRoom(size) bytes from `at`.
std::size_t BufferRoom(std::size_t size) { return size > 0 ? size + kTurnBufferAlign : 0; }
TurnBuffer BufferAt(uint8_t* at, std::size_t size) {
  if (size == 0 || at == nullptr) return TurnBuffer{};
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(at);
  const std::size_t skip = (kTurnBufferAlign - address % kTurnBufferAlign) % kTurnBufferAlign;
  return TurnBuffer{at + skip, size};
}

// A result out of place at least this large streams past the caches. With
// a last-level cache of 32 MiB, results of 1 and 4 MiB stayed in it between
// calls and streaming them was no faster (at 1 MiB slower); results of 12
// to 24 MiB were 10-28% faster streamed (BENCHMARKS.md, "Out of place").
constexpr std::size_t kStreamFrom = 8 << 20;

std::size_t BufferBytes(int bits, int32_t width, int32_t height, Orientation o, Place place) {
  if (!SwapsAxes(o)) return 0;
  return place == Place::kApart ? TransposeBufferBytes(bits, width, height)
                                : TurnInPlaceBufferBytes(bits, width, height, TranspositionOf(o));
}

}  // namespace

bool IsPixelSize(int bits) {
  return bits == 1 || bits == 2 || bits == 4 ||
         (bits >= 8 && bits <= 8 * kMaxPixelBytes && bits % 8 == 0);
}

int64_t PixelRowBytes(int bits, int64_t pixels) { return (pixels * bits + 7) / 8; }

std::size_t OrientWorkBytes(int bits, int32_t width, int32_t height, Orientation o, Place place) {
  return BufferRoom(BufferBytes(bits, width, height, o, place));
}

void OrientRows(int bits, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
                std::ptrdiff_t dst_stride, int32_t width, int32_t height, Orientation o,
                uint8_t* work) {
  if (SwapsAxes(o)) {
    const std::size_t result = static_cast<std::size_t>(width) *
                               static_cast<std::size_t>(dst_stride < 0 ? -dst_stride : dst_stride);
    TurnRect(FormatOf(bits), src, src_stride, dst, dst_stride, width, height, TranspositionOf(o),
             BufferAt(work, BufferBytes(bits, width, height, o, Place::kApart)),
             result >= kStreamFrom ? Output::kStreamed : Output::kCached);
  } else {
    ReverseRows(bits, src, src_stride, dst, dst_stride, width, height, ReversalOf(o));
  }
}

void OrientInPlace(int bits, uint8_t* rows, std::ptrdiff_t src_stride, std::ptrdiff_t dst_stride,
                   int32_t width, int32_t height, Orientation o, uint8_t pad, uint8_t* work) {
  if (SwapsAxes(o)) {
    TurnInPlace(bits, rows, src_stride, dst_stride, width, height, TranspositionOf(o), pad,
                BufferAt(work, BufferBytes(bits, width, height, o, Place::kInPlace)));
  } else {
    ReverseInPlace(bits, rows, src_stride, width, height, ReversalOf(o), pad);
  }
}

std::size_t TurnInPlaceBufferBytes(int bits, int32_t width, int32_t height, Transposition t) {
  if (width == height) return SquareInPlaceBufferBytes(bits, width, t);
  if (width == 0 || height == 0) return 0;
  return RectangleInPlaceBufferBytes(bits, width, height);
}

void TurnInPlace(int bits, uint8_t* rows, std::ptrdiff_t src_stride, std::ptrdiff_t dst_stride,
                 int32_t width, int32_t height, Transposition t, uint8_t pad, TurnBuffer buffer) {
  if (width != height) {
    TurnRectangleInPlace(bits, rows, src_stride, dst_stride, width, height, t, pad, buffer);
    return;
  }
  TurnSquareInPlace(bits, rows, src_stride, width, t, pad, buffer);
  if (dst_stride == src_stride) return;
  // Rows of the caller's own buffer may take another stride turned: each
  // moves to it, from the end where rows spread out.
  const std::ptrdiff_t bytes = RowBytes(FormatOf(bits), width);
  if (dst_stride > src_stride) {
    for (int32_t r = width - 1; r > 0; --r) {
      std::memmove(rows + r * dst_stride, rows + r * src_stride, bytes);
    }
  } else {
    for (int32_t r = 1; r < width; ++r) std::memmove(rows + r * dst_stride, rows + r * src_stride, bytes);
  }
  PadRows(bits, rows, dst_stride, width, width, pad);
}

const char* KernelSetName(int index) {
  const KernelSet* const* simd = SimdKernelSets();
  for (int k = 0; simd[k] != nullptr; ++k) {
    if (k == index) return simd[k]->name;
  }
  int count = 0;
  while (simd[count] != nullptr) ++count;
  return index == count ? PortableKernels().name : nullptr;
}

bool UseKernelSet(const char* name) {
  if (name == nullptr || *name == '\0') {
    ChooseKernels(nullptr);
    return true;
  }
  for (const KernelSet* const* s = SimdKernelSets(); *s != nullptr; ++s) {
    if (std::strcmp(name, (*s)->name) == 0) {
      ChooseKernels(*s);
      return true;
    }
  }
  if (std::strcmp(name, PortableKernels().name) != 0) return false;
  ChooseKernels(&PortableKernels());
  return true;
}

}  // namespace quadturn
