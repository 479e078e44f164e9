// The buffer entry, RotateFlipPixels: the caller's pixels checked where they
// lie (pixel size, strides, the ranges the rows reach, in place or apart)
// before any byte moves, working memory had through the memory service,
// then the same road of turns as the DIB entries take.
#include <cstdint>
#include <limits>

#include "quadturn.h"
#include "orient.h"
#include "working_block.h"

namespace quadturn {
namespace {

// The addresses rows of a buffer reach: [low, high).
struct Reach {
  uint64_t low = 0, high = 0;
};

constexpr uint64_t kAddressEnd = uint64_t{std::numeric_limits<uintptr_t>::max()};
constexpr uint64_t kLargestSpan = uint64_t{std::numeric_limits<std::ptrdiff_t>::max()};

// `rows` rows (at least one) of `row_bytes` bytes, the first at `first`,
// `stride` bytes apart. False when they would pass either end of the
// address space or span more than a pointer difference holds.
bool ReachOf(const void* first, std::ptrdiff_t stride, int64_t rows, int64_t row_bytes,
             Reach* reach) {
  const uint64_t at = reinterpret_cast<uintptr_t>(first);
  const uint64_t step = stride < 0 ? uint64_t{0} - static_cast<uint64_t>(stride)
                                   : static_cast<uint64_t>(stride);
  const uint64_t steps = static_cast<uint64_t>(rows - 1);
  const uint64_t bytes = static_cast<uint64_t>(row_bytes);
  if (bytes > kLargestSpan || (steps > 0 && step > (kLargestSpan - bytes) / steps)) return false;
  const uint64_t walk = steps * step;
  if (stride < 0) {
    if (walk > at) return false;
    reach->low = at - walk;
    reach->high = at + bytes;
  } else {
    reach->low = at;
    reach->high = at + walk + bytes;
  }
  return reach->high - 1 <= kAddressEnd || reach->high == reach->low;
}

// The whole check: 0 when the call can go ahead, else the error it returns.
DWORD Check(const void* src, std::ptrdiff_t src_stride, const void* dst,
            std::ptrdiff_t dst_stride, int32_t width, int32_t height, int bits, int type) {
  if (type < 0 || type > 7 || !IsPixelSize(bits) || width < 0 || height < 0) {
    return ERROR_INVALID_PARAMETER;
  }
  if (width == 0 || height == 0) return 0;
  if (src == nullptr || dst == nullptr) return ERROR_INVALID_PARAMETER;
  const Orientation o = static_cast<Orientation>(type);
  const int32_t out_width = SwapsAxes(o) ? height : width;
  const int32_t out_height = SwapsAxes(o) ? width : height;
  const int64_t src_row = PixelRowBytes(bits, width), dst_row = PixelRowBytes(bits, out_width);
  auto too_small = [](std::ptrdiff_t stride, int64_t row) {
    return stride < 0 ? stride + row > 0 : stride < row;
  };
  if (too_small(src_stride, src_row) || too_small(dst_stride, dst_row)) {
    return ERROR_INVALID_PARAMETER;
  }
  Reach from, to;
  if (src == dst) {
    // In place: the memory from src holds the larger image, rows stride
    // bytes each.
    if (src_stride <= 0 || dst_stride <= 0) return ERROR_INVALID_PARAMETER;
    if (!SwapsAxes(o) && dst_stride != src_stride) return ERROR_INVALID_PARAMETER;
    return ReachOf(src, src_stride, height, src_stride, &from) &&
                   ReachOf(src, dst_stride, out_height, dst_stride, &to)
               ? 0
               : ERROR_INVALID_PARAMETER;
  }
  if (!ReachOf(src, src_stride, height, src_row, &from) ||
      !ReachOf(dst, dst_stride, out_height, dst_row, &to)) {
    return ERROR_INVALID_PARAMETER;
  }
  const bool overlap = from.low < to.high && to.low < from.high;
  return overlap ? ERROR_INVALID_PARAMETER : 0;
}

DWORD Orient(const void* src, std::ptrdiff_t src_stride, void* dst, std::ptrdiff_t dst_stride,
             int32_t width, int32_t height, int bits, int type) {
  const DWORD error = Check(src, src_stride, dst, dst_stride, width, height, bits, type);
  if (error != 0 || width == 0 || height == 0) return error;
  const Orientation o = static_cast<Orientation>(type);
  const bool in_place = src == dst;
  // The working memory first: once a pixel moves, nothing can fail.
  const SIZE_T work_bytes =
      OrientWorkBytes(bits, width, height, o, in_place ? Place::kInPlace : Place::kApart);
  WorkingBlock work(work_bytes > 0 ? GlobalAlloc(GMEM_MOVEABLE, work_bytes) : nullptr);
  if (work_bytes > 0 && (work.handle == nullptr || !work.Lock(work_bytes))) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  if (in_place) {
    OrientInPlace(bits, static_cast<uint8_t*>(dst), src_stride, dst_stride, width, height, o, 0,
                  work.bytes);
  } else {
    OrientRows(bits, static_cast<const uint8_t*>(src), src_stride, static_cast<uint8_t*>(dst),
               dst_stride, width, height, o, work.bytes);
  }
  return 0;
}

}  // namespace
}  // namespace quadturn

extern "C" DWORD WINAPI RotateFlipPixels(const void* src, LONG_PTR src_stride, void* dst,
                                         LONG_PTR dst_stride, LONG width, LONG height,
                                         int bits_per_pixel, int type) {
  // The memory service may set the last error on the way; the caller's is
  // given back whatever the outcome.
  const DWORD caller_error = GetLastError();
  const DWORD error = quadturn::Orient(src, src_stride, dst, dst_stride, width, height,
                                       bits_per_pixel, type);
  SetLastError(caller_error);
  return error;
}
