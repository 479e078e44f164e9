// Fuzz target: RotateFlipPixels on buffers the input describes. Six control
// bytes, then the pixels (repeated to fill the source): byte 0 the pixel
// size (an index into kBits), byte 1 the type (bits 0-2), in place (bit 3),
// the source's and the result's rows upwards (bits 4, 5), the service call
// to fail (bits 6-7: none, the first, the second); bytes 2 and 3 the width
// and height (0-127), bytes 4 and 5 what each stride adds to its packed row
// (bits 0-3; bit 7 of byte 4: one byte short, which must be refused). On
// every input: the answer is 0 with exactly the oracle's pixels, only they
// written and the source unchanged (out of place), or an error with nothing
// written; no block is left behind; the last error is the caller's.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "fault_hooks.h"
#include "test_images.h"

namespace {

namespace fuzz = quadturn::fuzz;
namespace test = quadturn::test;
using test::Bytes;

constexpr int kBits[] = {1, 2, 4, 8, 16, 24, 32, 40, 48, 56, 64, 96, 128, 256};

int64_t RowBytes(int bits, int32_t pixels) { return (int64_t{pixels} * bits + 7) / 8; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const int bits = kBits[data[0] % (sizeof kBits / sizeof kBits[0])];
  const int type = data[1] & 7;
  const bool in_place = (data[1] & 8) != 0;
  const bool src_up = !in_place && (data[1] & 16) != 0;
  const bool dst_up = !in_place && (data[1] & 32) != 0;
  const int failure = data[1] >> 6;
  const int32_t w = data[2] & 127, h = data[3] & 127;
  const bool short_stride = (data[4] & 128) != 0;
  const bool swap = type % 2 != 0;
  const int32_t out_w = swap ? h : w, out_h = swap ? w : h;
  const int64_t src_row = RowBytes(bits, w), dst_row = RowBytes(bits, out_w);
  const std::ptrdiff_t ss = static_cast<std::ptrdiff_t>(src_row + (data[4] & 15)) - (short_stride ? 1 : 0);
  const std::ptrdiff_t ds = in_place && !swap ? ss : static_cast<std::ptrdiff_t>(dst_row + (data[5] & 15));
  const bool refused = short_stride && w > 0 && h > 0 && ss < src_row;

  // Source and result, or the one area in place; the pixels from the input.
  const size_t src_bytes = static_cast<size_t>(std::max<std::ptrdiff_t>(ss, 0)) * h;
  const size_t dst_bytes = static_cast<size_t>(std::max<std::ptrdiff_t>(ds, 0)) * out_h;
  const size_t area = in_place ? std::max(src_bytes, dst_bytes) : src_bytes;
  Bytes src(area), dst(in_place ? 0 : dst_bytes);
  for (size_t k = 0; k < src.size(); ++k) src[k] = size > 6 ? data[6 + k % (size - 6)] : 0;
  for (size_t k = 0; k < dst.size(); ++k) dst[k] = static_cast<uint8_t>(k * 7 + 1);
  const Bytes src_before = src, dst_before = dst;
  uint8_t* src_first = src.data() + (src_up && h > 0 && ss > 0 ? (h - 1) * ss : 0);
  uint8_t* dst_first = in_place ? src.data() : dst.data() + (dst_up && out_h > 0 ? (out_h - 1) * ds : 0);
  const std::ptrdiff_t src_stride = src_up ? -ss : ss, dst_stride = dst_up ? -ds : ds;

  const std::size_t live = fuzz::LiveBlocks();
  fuzz::FailCalls(failure, 0);
  SetLastError(4242);
  const DWORD r = RotateFlipPixels(src_first, src_stride, dst_first, dst_stride, w, h, bits, type);
  fuzz::Disarm();
  fuzz::Check(GetLastError() == 4242, "the caller's last error kept");
  fuzz::Check(fuzz::LiveBlocks() == live, "no block left behind");
  if (refused) {
    fuzz::Check(r == ERROR_INVALID_PARAMETER, "a stride short of its row refused");
  }
  if (r != 0) {
    fuzz::Check(r == ERROR_INVALID_PARAMETER || (r == ERROR_NOT_ENOUGH_MEMORY && failure != 0),
                "an error the call has");
    fuzz::Check(src == src_before && dst == dst_before, "nothing written on an error");
    return 0;
  }
  fuzz::Check(!refused, "a short stride not accepted");
  if (w == 0 || h == 0) {
    fuzz::Check(src == src_before && dst == dst_before, "nothing written without pixels");
    return 0;
  }
  // The oracle reads the source as it was, from its top row.
  const uint8_t* top = src_before.data() + (src_first - src.data());
  const Bytes want = test::OracleRows(bits, top, static_cast<int32_t>(src_stride), w, h, type, 0);
  const int32_t ws = test::StrideOf(bits, out_w);
  if (!in_place) {
    fuzz::Check(src == src_before, "the source unchanged");
    Bytes expected = dst_before;
    uint8_t* e = expected.data() + (dst_first - dst.data());
    for (int32_t y = 0; y < out_h; ++y) {
      for (int32_t x = 0; x < out_w; ++x) test::CopyPixel(bits, want.data() + y * ws, x, e + y * dst_stride, x);
    }
    fuzz::Check(dst == expected, "exactly the oracle's pixels, nothing behind them written");
    return 0;
  }
  for (int32_t y = 0; y < out_h; ++y) {
    for (int32_t x = 0; x < out_w; ++x) {
      uint8_t got[32] = {}, wanted[32] = {};
      test::CopyPixel(bits, src.data() + y * ds, x, got, 0);
      test::CopyPixel(bits, want.data() + y * ws, x, wanted, 0);
      fuzz::Check(std::memcmp(got, wanted, sizeof got) == 0, "in place, the oracle's pixels");
    }
  }
  return 0;
}
