// Times a whole RotateRight90 call on large images against memcpy of the same
// pixel bytes and against the peers that were found, with the portable
// kernels forced, the turn kernel alone, and where the time of a call that
// needs a scratch block goes; prints one table per image (and a CSV file for
// the chart).
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

std::ptrdiff_t TurnedStride(const Case& c) {
  return (static_cast<std::ptrdiff_t>(c.height) * c.bits + 31) / 32 * 4;
}

uint8_t Pad(int bits) { return bits == 8 ? 0xFF : 0x00; }

// The original operation where it turns this depth, the general entry
// otherwise.
void TurnOnce(HGLOBAL h, int bits) {
  if (bits == 1 || bits == 8 || bits == 24) {
    RotateRight90(h);
  } else {
    RotateQuarterTurns(h, 1);
  }
}

// The whole call with a given kernel set, and the working memory it held.
Row Ours(const Image& image, const Case& c, const quadturn::KernelSet* kernels) {
  quadturn::ChooseKernels(kernels);
  const std::string name = quadturn::ChosenKernels().name;
  const double ms = WholeCallMs(image, c.reps);
  HGLOBAL h = MakeBlock(image);
  quadturn::seam::TrackPeakBytes(h);
  const size_t before = quadturn::seam::PeakTrackedBytes();
  TurnOnce(h, c.bits);
  const double peak = (quadturn::seam::PeakTrackedBytes() - before) / 1048576.0;
  GlobalFree(h);
  quadturn::ChooseKernels(nullptr);
  char note[64];
  std::snprintf(note, sizeof note, "%.2f MiB working", peak);
  return {"quadturn (" + name + ")", ms, note};
}


// Where a call that needs a scratch block spends its time, step by step as
// the library takes them: a scratch block (fresh memory), the turn into it,
// the re-size of the caller's block, the copy back, freeing the scratch.
std::vector<Row> Phases(const Image& image, const Case& c) {
  const std::ptrdiff_t d = TurnedStride(c);
  const size_t n = static_cast<size_t>(d) * c.width;
  const size_t need = quadturn::TurnRowsBufferBytes(c.bits, c.width, c.height);
  const size_t offset = 40 + (c.bits == 1 ? 8 : c.bits == 8 ? 1024 : 0);
  std::vector<double> t(5, 0.0);
  std::vector<std::vector<double>> all(5);
  using Clock = std::chrono::steady_clock;
  auto ms = [](Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
  };
  for (int rep = 0; rep <= c.reps; ++rep) {
    HGLOBAL block = MakeBlock(image);
    const auto t0 = Clock::now();
    HGLOBAL scratch = GlobalAlloc(GMEM_MOVEABLE, n + quadturn::TurnBufferRoom(need));
    auto* s = static_cast<uint8_t*>(GlobalLock(scratch));
    auto* b = static_cast<uint8_t*>(GlobalLock(block));
    const auto t1 = Clock::now();
    quadturn::TurnRows(c.bits, b + offset, image.stride, s, d, c.width, c.height,
                       quadturn::Direction::kRight, Pad(c.bits), quadturn::TurnBufferAt(s + n, need));
    const auto t2 = Clock::now();
    GlobalUnlock(block);
    GlobalReAlloc(block, offset + n, GMEM_MOVEABLE);
    b = static_cast<uint8_t*>(GlobalLock(block));
    const auto t3 = Clock::now();
    std::memcpy(b + offset, s, n);
    const auto t4 = Clock::now();
    GlobalUnlock(block);
    GlobalUnlock(scratch);
    GlobalFree(scratch);
    const auto t5 = Clock::now();
    GlobalFree(block);
    if (rep == 0) continue;  // warm-up
    const double step[5] = {ms(t0, t1), ms(t1, t2), ms(t2, t3), ms(t3, t4), ms(t4, t5)};
    for (int k = 0; k < 5; ++k) all[k].push_back(step[k]);
  }
  const char* names[5] = {"  scratch block", "  turn into it", "  re-size caller's block",
                          "  copy back", "  free scratch"};
  std::vector<Row> rows;
  for (int k = 0; k < 5; ++k) {
    std::sort(all[k].begin(), all[k].end());
    rows.push_back({names[k], all[k][all[k].size() / 2], "step"});
  }
  return rows;
}

}  // namespace
}  // namespace qt_bench

int main(int argc, char** argv) {
  using namespace qt_bench;
  const Options o = ParseOptions(argc, argv);
  std::FILE* csv = o.csv.empty() ? nullptr : std::fopen(o.csv.c_str(), "w");
  std::printf("quadturn benchmark (%s): median of repeated calls, one thread\n", o.build.c_str());
  for (Case c : Cases()) {
    if (o.quick) c.reps = 3;
    const Image image = MakeImage(c.bits, c.width, c.height);
    std::vector<Row> rows = {{"memcpy of the pixel bytes", MemcpyMs(image, c.reps), ""}};
    rows.push_back(Ours(image, c, nullptr));
    const double ours = rows.back().ms;
    rows.push_back(Ours(image, c, &quadturn::PortableKernels()));
    rows.back().name = "quadturn, portable kernels";
    {
      // The turn alone, into a buffer made and touched once.
      const std::ptrdiff_t d = TurnedStride(c);
      std::vector<uint8_t> dst(static_cast<size_t>(d) * c.width);
      const size_t need = quadturn::TurnRowsBufferBytes(c.bits, c.width, c.height);
      std::vector<uint8_t> work(quadturn::TurnBufferRoom(need));
      rows.push_back({"  the turn alone (warm buffer)", MedianMs([&] {
                        quadturn::TurnRows(c.bits, image.rows.data(), image.stride, dst.data(),
                                           d, c.width, c.height, quadturn::Direction::kRight,
                                           Pad(c.bits), quadturn::TurnBufferAt(work.data(), need));
                      }, c.reps), ""});
    }
    if (c.width != c.height) {
      const std::vector<Row> phases = Phases(image, c);
      rows.insert(rows.end(), phases.begin(), phases.end());
    }
    rows.push_back({"quadturn, a half turn in place", WholeCallMs(image, c.reps, 2), ""});
    if (c.bits == 1) {
      HGLOBAL h = MakeBlock(image);
      rows.push_back({"grey road (reference)", MedianMs([h] {
                        BOOL ignored;
                        quadturn::TurnOneBitThroughGrey(h, quadturn::Direction::kRight, &ignored);
                      }, c.reps), ""});
      GlobalFree(h);
    }
    for (const Peer& peer : Peers()) {
      const Turn turn = peer.prepare(image);
      if (turn) rows.push_back({peer.name, MedianMs(turn, c.reps), ""});
    }
    PrintTable(c, rows, ours, o.build.c_str(), csv);
  }
  if (csv != nullptr) std::fclose(csv);
  return 0;
}
