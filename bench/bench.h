// The peers the native benchmark times quadturn against.
#ifndef QUADTURN_BENCH_BENCH_H
#define QUADTURN_BENCH_BENCH_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_common.h"

namespace quadturn::bench {

// A prepared turn: called once per timed repetition, does one quarter turn
// clockwise (or the peer's other orientation) of the image it was made for.
using Turn = std::function<void()>;

struct Peer {
  std::string name;
  // Prepares a turn of `image`, or returns an empty function when this peer
  // does not turn images of that depth.
  std::function<Turn(const Image& image)> prepare;
  // Which orientation it gives, as RotateFlip's types: 1 a quarter turn
  // clockwise, 2 a half turn, 4 a mirror, 5 a transpose, 6 a flip.
  int type = 1;
};

// Peers built into this benchmark (those whose libraries were found).
std::vector<Peer>& Peers();

struct RegisterPeer {
  explicit RegisterPeer(Peer peer) { Peers().push_back(std::move(peer)); }
};

}  // namespace quadturn::bench

#endif  // QUADTURN_BENCH_BENCH_H
