// Every kernel set against the per-pixel oracle, byte for byte: sizes from 1
// to past a tile and a SIMD block in both dimensions, every padding
// remainder, destinations pre-filled with two different bytes so that an
// unwritten byte shows. And the direct bit turn against the grey road.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rotate.h"
#include "test_images.h"
#include "turn_kernels.h"

namespace qt_test {
namespace {

using quadturn::ChooseKernels;
using quadturn::KernelChoice;

struct ChoiceCase {
  KernelChoice choice;
  bool simd;
};

std::vector<ChoiceCase> Choices() {
  std::vector<ChoiceCase> c = {{KernelChoice::kScalar, false}};
  if (quadturn::SimdTransposes() != nullptr) c.push_back({KernelChoice::kSimd, true});
  return c;
}

std::string ExpectedName(bool simd) {
  return simd ? quadturn::SimdTransposes()->name : "scalar";
}

// The rows the kernels write for `dib`, in a destination pre-filled with `fill`.
Bytes KernelRows(const Bytes& dib, Turn turn, uint8_t fill) {
  const int bits = dib[14];
  const int32_t w = I32At(dib, 4), h = I32At(dib, 8);
  const int32_t s = StrideOf(bits, w), d = StrideOf(bits, h);
  Bytes out(static_cast<size_t>(d) * w, fill);
  const uint8_t* rows = dib.data() + PixelOffsetOf(dib);
  const auto direction = turn == Turn::kRight ? quadturn::Direction::kRight
                                              : quadturn::Direction::kLeft;
  if (bits == 1) {
    quadturn::TurnBits(rows, s, out.data(), d, w, h, direction);
  } else {
    quadturn::TurnPixels(rows, s, out.data(), d, w, h, bits / 8, direction);
  }
  return out;
}

void CheckSizes(int bits, const std::vector<int32_t>& widths,
                const std::vector<int32_t>& heights) {
  for (const ChoiceCase& c : Choices()) {
    ASSERT_TRUE(ChooseKernels(c.choice));
    uint64_t n = 0;
    for (int32_t w : widths) {
      for (int32_t h : heights) {
        const uint64_t case_number = bits * 1000000 + n++;
        Rng rng(case_number);
        const Bytes dib = MakeDib({.bits = bits, .width = w, .height = h}, rng);
        for (Turn turn : {Turn::kRight, Turn::kLeft}) {
          const Bytes oracle = OracleTurn(dib, turn);
          const Bytes want(oracle.begin() + PixelOffsetOf(dib), oracle.end());
          for (uint8_t fill : {0x5A, 0xC3}) {
            ASSERT_EQ(KernelRows(dib, turn, fill), want)
                << quadturn::LastKernelsUsed() << " case " << case_number << ": " << bits
                << "-bit " << w << "x" << h << (turn == Turn::kRight ? " right" : " left");
          }
          ASSERT_EQ(quadturn::LastKernelsUsed(), ExpectedName(c.simd));
        }
      }
    }
  }
  ChooseKernels(KernelChoice::kAutomatic);
}

std::vector<int32_t> Range(int32_t from, int32_t to) {
  std::vector<int32_t> v;
  for (int32_t i = from; i <= to; ++i) v.push_back(i);
  return v;
}

// Around the 16-pixel blocks and the 64- and 128-pixel tiles.
const std::vector<int32_t> kEdges = {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 18, 31, 32, 33,
                                     47, 48, 49, 63, 64, 65, 66, 67, 80, 127, 128, 129,
                                     130, 257};

TEST(Kernels, EightBitEverySizeAroundBlocksAndTiles) { CheckSizes(8, kEdges, kEdges); }

TEST(Kernels, TwentyFourBitEverySizeAroundBlocksAndTiles) { CheckSizes(24, kEdges, kEdges); }

TEST(Kernels, SmallImagesOfEverySize) {
  CheckSizes(8, Range(1, 20), Range(1, 20));
  CheckSizes(24, Range(1, 20), Range(1, 20));
  CheckSizes(1, Range(1, 20), Range(1, 20));
}

TEST(Kernels, OneBitAroundBytesBlocksAndTiles) {
  // A SIMD bit block is 128 pixels wide and 16 rows high.
  const std::vector<int32_t> widths = {1, 7, 8, 9, 31, 33, 63, 64, 65, 120, 127, 128, 129,
                                       135, 136, 145, 255, 256, 257, 300};
  const std::vector<int32_t> heights = {1, 2, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65,
                                        66, 100, 129};
  CheckSizes(1, widths, heights);
}

TEST(Kernels, ForcingSimdWhereThereIsNoneIsRefused) {
  EXPECT_EQ(ChooseKernels(KernelChoice::kSimd), quadturn::SimdTransposes() != nullptr);
  ChooseKernels(KernelChoice::kAutomatic);
}

// The direct bit turn and the grey road give the same block, byte for byte.
TEST(Kernels, DirectBitTurnMatchesGreyRoad) {
  for (const ChoiceCase& c : Choices()) {
    ASSERT_TRUE(ChooseKernels(c.choice));
    for (uint64_t n = 0; n < 60; ++n) {
      const uint64_t case_number = 77000 + n;
      Rng rng(case_number);
      DibShape shape{.bits = 1, .width = 1 + rng.Below(300), .height = 1 + rng.Below(150),
                     .clr_used = static_cast<uint32_t>(rng.Below(3) * 2),
                     .x_ppm = rng.Below(5000),
                     .clr_important = static_cast<uint32_t>(rng.Below(3))};
      shape.slack = static_cast<uint32_t>(rng.Below(2) * rng.Below(50));
      const Bytes dib = MakeDib(shape, rng);
      for (Turn turn : {Turn::kRight, Turn::kLeft}) {
        HGLOBAL direct = ToBlock(dib), grey = ToBlock(dib);
        Apply(turn, direct);
        BOOL ignored;
        const auto direction = turn == Turn::kRight ? quadturn::Direction::kRight
                                                    : quadturn::Direction::kLeft;
        ASSERT_EQ(quadturn::TurnOneBitThroughGrey(grey, direction, &ignored),
                  quadturn::Outcome::kTurned);
        ASSERT_EQ(FromBlock(direct), FromBlock(grey)) << "case " << case_number << ": "
                                                      << Describe(shape);
        GlobalFree(direct);
        GlobalFree(grey);
      }
    }
  }
  ChooseKernels(KernelChoice::kAutomatic);
}

}  // namespace
}  // namespace qt_test
