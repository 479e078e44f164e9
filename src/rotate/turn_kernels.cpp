// The quarter turns as transposes: clockwise is a transpose into destination
// rows taken from the last one up, counter-clockwise a transpose of source
// rows taken from the last one down. Padding is written here, once, for
// every kernel set.
#include "turn_kernels.h"

#include <atomic>
#include <cstring>

namespace quadturn {
namespace {

std::atomic<KernelChoice> g_choice{KernelChoice::kAutomatic};
thread_local const char* t_last_used = "none";

const TransposeSet& Chosen() {
  const TransposeSet* simd = SimdTransposes();
  const bool scalar = g_choice.load(std::memory_order_relaxed) == KernelChoice::kScalar;
  const TransposeSet& set = scalar || simd == nullptr ? ScalarTransposes() : *simd;
  t_last_used = set.name;
  return set;
}

// Runs `transpose` with the direction's row order, then fills the bytes of
// each destination row past `used` with `pad`.
void Turn(TransposeFn transpose, const uint8_t* src, std::ptrdiff_t ss, uint8_t* dst,
          std::ptrdiff_t ds, int32_t width, int32_t height, int32_t used, uint8_t pad,
          Direction direction) {
  if (width > 0 && height > 0) {
    if (direction == Direction::kRight) {
      transpose(src, ss, dst + (width - 1) * ds, -ds, width, height);
    } else {
      transpose(src + (height - 1) * ss, -ss, dst, ds, width, height);
    }
  }
  if (ds > used) {
    for (int32_t r = 0; r < width; ++r) std::memset(dst + r * ds + used, pad, ds - used);
  }
}

}  // namespace

void TurnPixels(const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
                std::ptrdiff_t dst_stride, int32_t width, int32_t height,
                int pixel_bytes, Direction direction) {
  const TransposeSet& set = Chosen();
  const bool one = pixel_bytes == 1;
  Turn(one ? set.bytes : set.triples, src, src_stride, dst, dst_stride, width, height,
       height * pixel_bytes, one ? 0xFF : 0x00, direction);
}

void TurnBits(const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
              std::ptrdiff_t dst_stride, int32_t width, int32_t height,
              Direction direction) {
  const int32_t used = height / 8 + (height % 8 != 0);  // bytes holding pixels
  Turn(Chosen().bits, src, src_stride, dst, dst_stride, width, height, used,
       0x00, direction);
}

bool ChooseKernels(KernelChoice choice) {
  if (choice == KernelChoice::kSimd && SimdTransposes() == nullptr) return false;
  g_choice.store(choice == KernelChoice::kSimd ? KernelChoice::kAutomatic : choice);
  return true;
}

const char* LastKernelsUsed() { return t_last_used; }

}  // namespace quadturn
