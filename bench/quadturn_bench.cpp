// Times a whole RotateRight90 call (scratch block, turn, re-size, copy back)
// on large images against memcpy of the same pixel bytes and against the
// peers that were found, and prints one table of times and ratios; also the
// peak bytes held in working blocks during a turn.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench.h"
#include "block_seam.h"
#include "grey_road.h"
#include "quadturn.h"
#include "turn_kernels.h"

namespace qt_bench {

std::vector<Peer>& Peers() {
  static std::vector<Peer> peers;
  return peers;
}

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
  const char* label;
  int bits, width, height;
  int reps;
};

Image MakeImage(int bits, int width, int height) {
  Image image{bits, width, height, (static_cast<std::ptrdiff_t>(width) * bits + 31) / 32 * 4, {}};
  image.rows.resize(static_cast<size_t>(image.stride) * height);
  // Photos: noise that does not repeat. Pages: white with lines of "text"
  // (black runs on 30 of every 48 rows), since some peers skip white words.
  uint32_t x = 2463534242u;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  };
  for (int r = 0; r < height; ++r) {
    uint8_t* row = image.rows.data() + r * image.stride;
    for (std::ptrdiff_t k = 0; k < image.stride; ++k) {
      const uint32_t v = next();
      row[k] = bits != 1 ? static_cast<uint8_t>(v)
                         : (r % 48 < 30 && (v >> 24) < 80 ? static_cast<uint8_t>(v) : 0);
    }
  }
  return image;
}

// Median milliseconds over `reps` calls, after one warm-up call.
double MedianMs(const Turn& turn, int reps) {
  turn();
  std::vector<double> ms;
  for (int i = 0; i < reps; ++i) {
    const auto t0 = Clock::now();
    turn();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// A packed DIB in a movable block: 40-byte header, the table, the rows.
HGLOBAL MakeBlock(const Image& image) {
  const size_t table = image.bits == 24 ? 0 : (image.bits == 1 ? 8 : 1024);
  const size_t size = 40 + table + image.rows.size();
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  const int32_t header[] = {40, image.width, image.height};
  std::memcpy(p, header, sizeof header);
  p[12] = 1;
  p[14] = static_cast<uint8_t>(image.bits);
  std::memcpy(p + 40 + table, image.rows.data(), image.rows.size());
  GlobalUnlock(h);
  return h;
}

struct Row {
  std::string name;
  double ms;
  double peak_mib;  // < 0 when not measured
};

void PrintRows(const Case& c, const std::vector<Row>& rows, double memcpy_ms, double ours_ms) {
  std::printf("\n%s (%d-bit %d x %d)\n", c.label, c.bits, c.width, c.height);
  std::printf("  %-34s %10s %10s %12s %14s\n", "", "ms", "x memcpy", "x quadturn",
              "peak work MiB");
  for (const Row& r : rows) {
    char peak[32] = "";
    if (r.peak_mib >= 0) std::snprintf(peak, sizeof peak, "%.2f", r.peak_mib);
    std::printf("  %-34s %10.2f %10.1f %12.2f %14s\n", r.name.c_str(), r.ms, r.ms / memcpy_ms,
                r.ms / ours_ms, peak);
  }
}

// Times RotateRight90 on a block holding the image with the given kernels;
// `grey` takes the 1-bit reference road instead.
Row TimeOurs(const Image& image, const Case& c, const std::string& name,
             const quadturn::KernelSet* kernels, bool grey) {
  quadturn::ChooseKernels(kernels);
  HGLOBAL h = MakeBlock(image);
  const Turn turn = [h, grey] {
    if (grey) {
      BOOL ignored;
      quadturn::TurnOneBitThroughGrey(h, quadturn::Direction::kRight, &ignored);
    } else {
      RotateRight90(h);
    }
  };
  const double ms = MedianMs(turn, c.reps);
  quadturn::seam::TrackPeakBytes(h);
  const size_t before = quadturn::seam::PeakTrackedBytes();
  turn();
  const double peak = (quadturn::seam::PeakTrackedBytes() - before) / 1048576.0;
  GlobalFree(h);
  quadturn::ChooseKernels(nullptr);
  return {name + (grey ? "" : std::string(" (") + quadturn::LastKernelsUsed() + ")"), ms, peak};
}

}  // namespace
}  // namespace qt_bench

int main(int argc, char** argv) {
  using namespace qt_bench;
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const Case cases[] = {
      {"8-bit page, power-of-two stride", 8, 4096, 4096, 15},
      {"8-bit photo, odd size", 8, 4093, 3001, 15},
      {"24-bit photo", 24, 4000, 3000, 11},
      {"1-bit A4 at 600 dpi", 1, 4960, 7016, 15},
      {"1-bit A4 at 300 dpi", 1, 2480, 3508, 21},
  };
  std::printf("quadturn benchmark: median of repeated whole calls, one thread\n");
  for (Case c : cases) {
    if (quick) c.reps = 3;
    const Image image = MakeImage(c.bits, c.width, c.height);
    std::vector<uint8_t> copy(image.rows.size());
    const double memcpy_ms = MedianMs(
        [&] { std::memcpy(copy.data(), image.rows.data(), copy.size()); }, c.reps);

    std::vector<Row> rows = {{"memcpy of the pixel bytes", memcpy_ms, -1}};
    rows.push_back(TimeOurs(image, c, "quadturn", nullptr, false));
    const double ours = rows.back().ms;
    rows.push_back(TimeOurs(image, c, "quadturn", &quadturn::PortableKernels(), false));
    {
      // The turn alone, into a buffer made once: what the block service and
      // the copies around the turn cost is the difference.
      const std::ptrdiff_t d = (static_cast<std::ptrdiff_t>(c.height) * c.bits + 31) / 32 * 4;
      std::vector<uint8_t> dst(static_cast<size_t>(d) * c.width);
      const Turn kernel = [&] {
        quadturn::TurnRows(c.bits, image.rows.data(), image.stride, dst.data(), d, c.width,
                           c.height, quadturn::Direction::kRight, c.bits == 8 ? 0xFF : 0);
      };
      rows.push_back({"  its turn kernel alone", MedianMs(kernel, c.reps), -1});
    }
    if (c.bits == 1) {
      rows.push_back(TimeOurs(image, c, "quadturn grey road (reference)", nullptr, true));
    }
    for (const Peer& peer : Peers()) {
      const Turn turn = peer.prepare(image);
      if (turn) rows.push_back({peer.name, MedianMs(turn, c.reps), -1});
    }
    PrintRows(c, rows, memcpy_ms, ours);
  }
  return 0;
}
