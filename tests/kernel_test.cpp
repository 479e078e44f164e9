// Every kernel set against the per-pixel oracle, byte for byte, at every
// depth and orientation: out of place at sizes from 1 to past a tile and a
// block in both dimensions, squares and rectangles in place, mirrors, flips
// and half turns in place; destinations
// pre-filled with two different bytes so that an unwritten byte shows; and
// whole one-bit blocks through the public entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_images.h"
#include "kernel_choice.h"
#include "turn_parts.h"

namespace quadturn::test {
namespace {

using quadturn::KernelSet;
using quadturn::Orientation;

// The orientations that exchange the axes, and those that keep them.
const int kTransposing[] = {1, 3, 5, 7};
const int kReversing[] = {2, 4, 6};

// Every size with kernels of its own, 2 bits, and whole-byte sizes the
// portable set alone serves (5 and 32 bytes).
const int kDepths[] = {1, 2, 4, 8, 16, 24, 32, 40, 48, 64, 256};

std::vector<const KernelSet*> Sets() {
  std::vector<const KernelSet*> sets = {&quadturn::PortableKernels()};
  for (const KernelSet* const* s = quadturn::SimdKernelSets(); *s != nullptr; ++s) sets.push_back(*s);
  return sets;
}

// Forces each kernel set in turn for the body, up to the first failure
// that ends a test, then goes back to the automatic choice.
template <typename Body>
void ForEachSet(Body body) {
  for (const KernelSet* set : Sets()) {
    quadturn::ChooseKernels(set);
    ASSERT_EQ(&quadturn::ChosenKernels(), set) << set->name;
    body(*set);
    if (::testing::Test::HasFatalFailure()) break;
  }
  quadturn::ChooseKernels(nullptr);
}

// Where the suite runs slowly (sanitizers, an emulated processor), the
// environment's QUADTURN_CASE_STRIDE=N keeps every Nth case of the large tables;
// a full run checks them all. The cases kept are the same every time. (Wine
// hides variables named QT_* from Windows programs, hence the longer name.)
bool Kept(uint64_t case_number) {
  static const uint64_t stride = [] {
    const char* s = std::getenv("QUADTURN_CASE_STRIDE");
    return s != nullptr && std::atoi(s) > 1 ? static_cast<uint64_t>(std::atoi(s)) : uint64_t{1};
  }();
  return case_number % stride == 0;
}

// Working memory exactly as large as a turn asks for, so that
// AddressSanitizer sees any access past it (the kernels need no alignment).
quadturn::TurnBuffer BufferOf(Bytes& bytes) { return {bytes.data(), bytes.size()}; }

Bytes RandomRows(int bits, int32_t w, int32_t h, uint64_t case_number) {
  Rng rng(case_number);
  Bytes rows(static_cast<size_t>(StrideOf(bits, w)) * h);
  for (auto& b : rows) b = rng.Byte();
  return rows;
}

std::string Describe(const KernelSet& set, int bits, int32_t w, int32_t h, int type,
                     uint64_t case_number) {
  return std::string(set.name) + " case " + std::to_string(case_number) + ": " +
         std::to_string(bits) + "-bit " + std::to_string(w) + "x" + std::to_string(h) +
         ", type " + std::to_string(type);
}

quadturn::Transposition TranspositionOf(int type) {
  return quadturn::TranspositionOf(static_cast<Orientation>(type));
}

// Without a set forced, the turns take the best SIMD set the processor runs.
// The sets are printed, so that a run on an emulated processor can show which
// it had (the 32-bit DLL's suite runs once more without SSSE3).
TEST(Kernels, AutomaticChoiceIsTheBestSetThisProcessorRuns) {
  std::string names;
  for (const KernelSet* const* s = quadturn::SimdKernelSets(); *s != nullptr; ++s) {
    names += std::string(names.empty() ? "" : ", ") + (*s)->name;
  }
  std::printf("SIMD kernel sets this processor runs: %s\n", names.empty() ? "none" : names.c_str());
  const KernelSet* best = quadturn::SimdKernelSets()[0];
  EXPECT_EQ(&quadturn::ChosenKernels(), best != nullptr ? best : &quadturn::PortableKernels());
}

// Out of place, each orientation that exchanges the axes, each size pair;
// each case's oracle is made once for all the sets.
void CheckOutOfPlace(int bits, const std::vector<int32_t>& widths,
                     const std::vector<int32_t>& heights) {
  uint64_t n = 0;
  for (int32_t w : widths) {
    for (int32_t h : heights) {
      const uint64_t case_number = bits * 1000000 + n++;
      if (!Kept(case_number)) continue;
      const Bytes src = RandomRows(bits, w, h, case_number);
      const int32_t s = StrideOf(bits, w), d = StrideOf(bits, h);
      for (int type : kTransposing) {
        const uint8_t pad = static_cast<uint8_t>(type == 1 ? 0x00 : 0xFF - type);
        const Bytes want = OracleRows(bits, src.data(), s, w, h, type, pad);
        ForEachSet([&](const KernelSet& set) {
          Bytes buffer(quadturn::TransposeBufferBytes(bits, w, h));
          // The second fill's result streams past the caches: rows that
          // start and end inside cache lines, going both ways.
          for (auto [fill, output] : {std::pair{0x5A, quadturn::Output::kCached},
                                      std::pair{0xC3, quadturn::Output::kStreamed}}) {
            Bytes out(static_cast<size_t>(d) * w, static_cast<uint8_t>(fill));
            quadturn::TurnRect(quadturn::FormatOf(bits), src.data(), s, out.data(), d, w, h,
                               TranspositionOf(type), BufferOf(buffer), output);
            quadturn::PadRows(bits, out.data(), d, w, h, pad);
            ASSERT_EQ(out, want) << Describe(set, bits, w, h, type, case_number)
                                 << (output == quadturn::Output::kStreamed ? ", streamed" : "");
          }
        });
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

std::vector<int32_t> Range(int32_t from, int32_t to) {
  std::vector<int32_t> v;
  for (int32_t i = from; i <= to; ++i) v.push_back(i);
  return v;
}

// Around the blocks (4, 8, 16 pixels; 16 rows and 128 pixels for bits) and
// the tiles (64 to 256).
const std::vector<int32_t> kEdges = {1,  2,  3,  4,  5,  7,  8,  9,  15,  16,  17,  31,  32,
                                     33, 63, 64, 65, 66, 80, 127, 128, 129, 130, 255, 257};

TEST(Kernels, EveryDepthAroundBlocksAndTiles) {
  for (int bits : kDepths) CheckOutOfPlace(bits, kEdges, kEdges);
}

TEST(Kernels, SmallImagesOfEverySize) {
  for (int bits : kDepths) CheckOutOfPlace(bits, Range(1, 20), Range(1, 20));
}

TEST(Kernels, OneBitAroundBytesBlocksAndTiles) {
  // A SIMD bit block is 128 pixels wide and 16 rows high, a tile 256.
  const std::vector<int32_t> widths = {1,   7,   8,   9,   63,  64,  65,  127, 128, 129,
                                       135, 145, 255, 256, 257, 300, 383, 384, 385, 520};
  const std::vector<int32_t> heights = {1, 2, 8, 9, 15, 16, 17, 63, 64, 65, 100, 255, 256, 257};
  CheckOutOfPlace(1, widths, heights);
}

// Quarter turns, transposes and transverses inside the image's own rows,
// for squares (four-tile cycles, tile pairs across a diagonal; at 1 and 4
// bits a transpose with reversed rows) and rectangles (strips, then chunks
// packed, sorted and spread): the rows' memory is as large as the larger
// image, pre-filled behind the source, with guard bytes after it that must
// stay as they were.
void CheckInPlace(int bits, const std::vector<std::pair<int32_t, int32_t>>& shapes,
                  uint64_t first_case) {
  constexpr size_t kGuard = 64;
  uint64_t n = first_case;
  for (auto [w, h] : shapes) {
    const uint64_t case_number = n++;
    if (!Kept(case_number)) continue;
    const Bytes src = RandomRows(bits, w, h, case_number);
    const int32_t s = StrideOf(bits, w), d = StrideOf(bits, h);
    const size_t area = std::max(src.size(), static_cast<size_t>(d) * w);
    for (int type : kTransposing) {
      const uint8_t pad = static_cast<uint8_t>(type == 1 ? 0x00 : 0xFF - type);
      const Bytes want = OracleRows(bits, src.data(), s, w, h, type, pad);
      ForEachSet([&](const KernelSet& set) {
        Bytes rows(area + kGuard, static_cast<uint8_t>(0xA5 + type));
        std::copy(src.begin(), src.end(), rows.begin());
        Bytes buffer(quadturn::TurnInPlaceBufferBytes(bits, w, h, TranspositionOf(type)));
        quadturn::TurnInPlace(bits, rows.data(), s, d, w, h, TranspositionOf(type), pad,
                              BufferOf(buffer));
        const std::string what = Describe(set, bits, w, h, type, case_number) + ", in place";
        ASSERT_TRUE(std::equal(want.begin(), want.end(), rows.begin())) << what;
        for (size_t k = area; k < rows.size(); ++k) {
          ASSERT_EQ(rows[k], static_cast<uint8_t>(0xA5 + type)) << what << ", guard byte";
        }
      });
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

std::vector<std::pair<int32_t, int32_t>> Pairs(const std::vector<int32_t>& widths,
                                               const std::vector<int32_t>& heights) {
  std::vector<std::pair<int32_t, int32_t>> shapes;
  for (int32_t w : widths) {
    for (int32_t h : heights) shapes.emplace_back(w, h);
  }
  return shapes;
}

// Squares with sides around their tiles (128 to 512) and odd sides with a
// centre pixel.
TEST(Kernels, SquaresInPlace) {
  std::vector<int32_t> sides = Range(1, 34);
  for (int32_t s : {63, 64, 65, 127, 128, 129, 255, 256, 257, 300}) sides.push_back(s);
  for (int bits : kDepths) {
    std::vector<int32_t> all = sides;
    // Big enough for whole tiles of the transposes inside the cycles.
    if (bits == 1) all.insert(all.end(), {511, 512, 513, 1030});
    if (bits == 8 || bits == 16) all.insert(all.end(), {513, 520});
    std::vector<std::pair<int32_t, int32_t>> shapes;
    for (int32_t side : all) shapes.emplace_back(side, side);
    CheckInPlace(bits, shapes, 2000000 + bits * 1000);
  }
}

// Rectangles: sides around the chunks (32 and 64) and the strips beside
// them, primes, sides sharing large or no common factors, one row or one
// column, and tall and wide extremes; padding that grows and that shrinks.
TEST(Kernels, RectanglesInPlace) {
  const std::vector<int32_t> sides = {1,  2,  3,  5,  7,  8,   13,  31,  32,  33,
                                      63, 64, 65, 96, 97, 128, 130, 193, 256, 262};
  std::vector<std::pair<int32_t, int32_t>> shapes = Pairs(sides, sides);
  for (auto [w, h] : {std::pair{1, 3001}, {2053, 3}, {4096, 64}, {96, 1024}, {1009, 331},
                      {640, 480}, {600, 400}, {1000, 999}, {3000, 97}}) {
    shapes.emplace_back(w, h);
    shapes.emplace_back(h, w);
  }
  for (int bits : kDepths) {
    // Pixels wider than 4 bytes have chunks of 16 pixels or fewer: the
    // smaller shapes reach every part, with one tall and one wide extreme.
    std::vector<std::pair<int32_t, int32_t>> all = shapes;
    if (bits > 32) {
      all = Pairs(sides, sides);
      all.insert(all.end(), {{1, 3001}, {3000, 97}});
    }
    // Chunks are 512 pixels at 1 bit and 128 at 4 bits: several of them
    // both ways, with strips.
    if (bits < 8) all.insert(all.end(), {{1100, 1537}, {1537, 1100}, {2053, 1030}});
    CheckInPlace(bits, all, 2500000 + bits * 10000);
  }
}

// Mirrors, flips and half turns inside the image's own rows, with every set.
TEST(Kernels, ReversalsInPlace) {
  ForEachSet([&](const KernelSet& set) {
    uint64_t n = 0;
    for (int bits : kDepths) {
      for (int32_t w : {1, 2, 3, 7, 8, 9, 15, 16, 17, 33, 40, 64, 100, 127, 130, 191, 257, 1000}) {
        for (int32_t h : {1, 2, 3, 4, 5, 16, 31}) {
          const uint64_t case_number = 3000000 + n++;
          if (!Kept(case_number)) continue;
          const Bytes src = RandomRows(bits, w, h, case_number);
          const int32_t stride = StrideOf(bits, w);
          for (int type : kReversing) {
            Bytes rows = src;
            quadturn::ReverseInPlace(bits, rows.data(), stride, w, h,
                                     quadturn::ReversalOf(static_cast<Orientation>(type)), 0x00);
            ASSERT_EQ(rows, OracleRows(bits, src.data(), stride, w, h, type, 0x00))
                << Describe(set, bits, w, h, type, case_number);
          }
        }
      }
    }
  });
}

// Whole one-bit blocks, with every set: the table and resolutions kept, the
// colour counts cleared, the block cut to the turned rows.
TEST(Kernels, OneBitBlocksMatchOracle) {
  ForEachSet([&](const KernelSet& set) {
    for (uint64_t n = 0; n < 60; ++n) {
      const uint64_t case_number = 77000 + n;
      Rng rng(case_number);
      Shape shape{.bits = 1, .width = 1 + rng.Below(300), .height = 1 + rng.Below(150),
                  .clr_used = static_cast<uint32_t>(rng.Below(3) * 2),
                  .x_ppm = rng.Below(5000),
                  .clr_important = static_cast<uint32_t>(rng.Below(3))};
      shape.slack = static_cast<uint32_t>(rng.Below(2) * rng.Below(50));
      const Bytes dib = MakeDib(shape, rng, Rules::kRotate90);
      for (Turn turn : {Turn::kRight, Turn::kLeft}) {
        HGLOBAL h = ToBlock(dib);
        Apply(turn, h);
        ASSERT_EQ(FromBlock(h), Oracle(dib, QuartersOf(turn), Rules::kRotate90))
            << set.name << " case " << case_number << ": " << Describe(shape);
        GlobalFree(h);
      }
    }
  });
}

}  // namespace
}  // namespace quadturn::test
