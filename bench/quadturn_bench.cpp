// Times a whole RotateRight90 call on large images (RotateFlipPixels where a
// DIB cannot hold the pixels) against memcpy of the same pixel bytes and
// against the peers that were found, with each kernel set forced, and the
// turn alone, out of place and in place, through the turn layer's face;
// prints one table per image (and a CSV file for the chart).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "bench.h"
#include "grey_road.h"
#include "orient.h"
#include "quadturn.h"

namespace quadturn::bench {

std::vector<Peer>& Peers() {
  static std::vector<Peer> peers;
  return peers;
}

namespace {

std::ptrdiff_t TurnedStride(const Case& c) {
  return (static_cast<std::ptrdiff_t>(c.height) * c.bits + 31) / 32 * 4;
}

uint8_t Pad(int bits) { return bits == 8 ? 0xFF : 0x00; }

// The whole call with a given kernel set ("" for the automatic choice),
// and the working memory it asks for: the turn's working block, the only
// block besides the caller's.
Row Ours(const Image& image, const Case& c, const std::string& kernels) {
  quadturn::UseKernelSet(kernels.c_str());
  const std::string name = kernels.empty() ? quadturn::KernelSetName(0) : kernels;
  const double ms = WholeCallMs(image, c.reps);
  const double working = quadturn::OrientWorkBytes(c.bits, c.width, c.height,
                                                   quadturn::Orientation::kRight,
                                                   quadturn::Place::kInPlace) /
                         1048576.0;
  quadturn::UseKernelSet("");
  char note[64];
  std::snprintf(note, sizeof note, "%.2f MiB working", working);
  return {"quadturn (" + name + ")", ms, note};
}

// The quarter turn inside the image's own rows alone, without the call
// around it: memory made and touched once, the image turned back and forth
// (each repetition one turn, as the whole call is timed).
double InPlaceMs(const Image& image, const Case& c) {
  const std::ptrdiff_t d = TurnedStride(c);
  std::vector<uint8_t> rows(std::max(image.rows.size(), static_cast<size_t>(d) * c.width));
  std::copy(image.rows.begin(), image.rows.end(), rows.begin());
  const auto right = quadturn::Orientation::kRight;
  std::vector<uint8_t> work(std::max(
      quadturn::OrientWorkBytes(c.bits, c.width, c.height, right, quadturn::Place::kInPlace),
      quadturn::OrientWorkBytes(c.bits, c.height, c.width, right, quadturn::Place::kInPlace)));
  bool turned = false;
  return MedianMs([&] {
    const int32_t w = turned ? c.height : c.width, h = turned ? c.width : c.height;
    quadturn::OrientInPlace(c.bits, rows.data(), turned ? d : image.stride,
                            turned ? image.stride : d, w, h, right, Pad(c.bits), work.data());
    turned = !turned;
  }, c.reps);
}

}  // namespace
}  // namespace quadturn::bench

int main(int argc, char** argv) {
  using namespace quadturn::bench;
  const Options o = ParseOptions(argc, argv);
  std::FILE* csv = o.csv.empty() ? nullptr : std::fopen(o.csv.c_str(), "w");
  std::printf("quadturn benchmark (%s): median of repeated calls, one thread\n", o.build.c_str());
  for (Case c : Cases()) {
    if (o.quick) c.reps = 3;
    const Image image = MakeImage(c.bits, c.width, c.height);
    std::vector<Row> rows = {{"memcpy of the pixel bytes", MemcpyMs(image, c.reps), ""}};
    rows.push_back(Ours(image, c, ""));
    const double ours = rows.back().ms;
    // The narrower sets this processor also runs, forced, and the portable
    // one (the last name).
    std::vector<std::string> sets;
    for (int k = 0; quadturn::KernelSetName(k) != nullptr; ++k) sets.emplace_back(quadturn::KernelSetName(k));
    for (std::size_t k = 1; k < sets.size(); ++k) {
      rows.push_back(Ours(image, c, sets[k]));
      rows.back().name = k + 1 < sets.size() ? "  with " + sets[k] : "quadturn, portable kernels";
    }
    {
      // The turn alone, into a buffer made and touched once.
      const std::ptrdiff_t d = TurnedStride(c);
      std::vector<uint8_t> dst(static_cast<size_t>(d) * c.width);
      const auto right = quadturn::Orientation::kRight;
      std::vector<uint8_t> work(
          quadturn::OrientWorkBytes(c.bits, c.width, c.height, right, quadturn::Place::kApart));
      rows.push_back({"  the turn alone, out of place (warm)", MedianMs([&] {
                        quadturn::OrientRows(c.bits, image.rows.data(), image.stride, dst.data(),
                                             d, c.width, c.height, right, work.data());
                      }, c.reps), ""});
    }
    rows.push_back({"  the turn in place alone", InPlaceMs(image, c), ""});
    const double half = WholeCallMs(image, c.reps, 2);
    rows.push_back({"quadturn, a half turn in place", half, "", 2, half});
    if (c.bits == 1) {
      HGLOBAL h = MakeBlock(image);
      rows.push_back({"grey road (reference)", MedianMs([h] { TurnThroughGrey(h); }, c.reps), ""});
      GlobalFree(h);
    }
    // The peers' quarter turns, then each other orientation: quadturn's
    // whole call and the peers that give it.
    auto add_peers = [&](int type, double against) {
      for (const Peer& peer : Peers()) {
        const Turn turn = peer.type == type ? peer.prepare(image) : Turn{};
        if (turn) rows.push_back({peer.name, MedianMs(turn, c.reps), "", type, against});
      }
    };
    add_peers(1, 0);
    add_peers(2, half);
    for (auto [type, name] : {std::pair{4, "quadturn, mirror"}, {6, "quadturn, flip"}}) {
      const double ms = WholeFlipMs(image, c.reps, type);
      rows.push_back({name, ms, "", type, ms});
      add_peers(type, ms);
    }
    // The transposes against a quarter turn timed beside them, call for
    // call: timed apart, the machine's drift between them was larger than
    // any difference of theirs.
    const std::vector<double> beside = SideBySideFlipMs(image, c.reps, {1, 5, 7});
    rows.push_back({"quadturn, a quarter turn beside them", beside[0], "", 1, beside[0]});
    for (auto [k, type, name] : {std::tuple{1, 5, "quadturn, transpose"}, {2, 7, "quadturn, transverse"}}) {
      rows.push_back({name, beside[k], "", type, beside[k]});
      add_peers(type, beside[k]);
    }
    PrintTable(c, rows, ours, o.build.c_str(), csv);
  }
  if (csv != nullptr) std::fclose(csv);
  return 0;
}
