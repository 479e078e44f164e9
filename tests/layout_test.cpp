// Where the readers place the rows and size the turn, against the tests'
// own offsets and strides, and the checks that decide whether an image is
// turned at all.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dib_layout.h"
#include "test_images.h"

namespace quadturn {
namespace {

struct Header {
  uint8_t bytes[40] = {};
  Header(int bits, int32_t w, int32_t h, uint32_t clr_used = 0,
         uint32_t size = 40) {
    WriteU32(bytes + kBiSize, size);
    WriteI32(bytes + kBiWidth, w);
    WriteI32(bytes + kBiHeight, h);
    bytes[kBiPlanes] = 1;
    bytes[kBiBitCount] = static_cast<uint8_t>(bits);
    WriteU32(bytes + kBiClrUsed, clr_used);
  }
  test::Bytes Vector() const { return test::Bytes(bytes, bytes + sizeof bytes); }
};

// Where the rows lie and what the turned image takes, against the tests'
// own offsets and strides.
TEST(ReadStrictLayout, PlacesRowsAndSizesTheTurn) {
  const Header cases[] = {
      Header(8, 3, 2),  Header(8, 5, 7, 16),   Header(8, 5, 7, 16, 108), Header(24, 5, 2),
      Header(24, 1, 1, 0, 124), Header(1, 9, 3), Header(1, 33, 2, 2),   Header(8, 0, 9),
      Header(24, 9, 0),
  };
  for (const Header& c : cases) {
    const int bits = c.bytes[kBiBitCount];
    const int32_t w = ReadI32(c.bytes + kBiWidth), h = ReadI32(c.bytes + kBiHeight);
    const std::string what = std::to_string(bits) + "-bit " + std::to_string(w) + "x" +
                             std::to_string(h) + " biSize " +
                             std::to_string(ReadU32(c.bytes + kBiSize));
    ImageLayout g;
    ASSERT_TRUE(ReadStrictLayout(c.bytes, 1u << 20, &g)) << what;
    const int32_t offset = test::RowsOffsetOf(c.Vector(), test::Rules::kRotate90);
    EXPECT_EQ(g.pixel_offset, offset) << what;
    EXPECT_EQ(g.src_stride, test::StrideOf(bits, w)) << what;
    EXPECT_EQ(g.dst_stride, test::StrideOf(bits, h)) << what;
    EXPECT_EQ(g.dst_bytes, test::StrideOf(bits, h) * w) << what;
    EXPECT_EQ(g.turned_block_bytes, offset + g.dst_bytes) << what;
  }
}

TEST(ReadStrictLayout, NeedsTheWholeImageInTheBlock) {
  ImageLayout g;
  const Header h(24, 5, 2);  // 40 + 2 rows of 16
  EXPECT_TRUE(ReadStrictLayout(h.bytes, 72, &g));
  EXPECT_FALSE(ReadStrictLayout(h.bytes, 71, &g));
  const Header one(1, 9, 3);  // 48 + 3 rows of 4
  EXPECT_TRUE(ReadStrictLayout(one.bytes, 60, &g));
  EXPECT_FALSE(ReadStrictLayout(one.bytes, 59, &g));
}

// A 1-bit image turns up to the same limits as the others: rows of 256 MiB
// and more are fine as long as the rows and the turned rows stay below 2^31.
TEST(ReadStrictLayout, OneBitImagesTurnUpToTheCommonLimits) {
  ImageLayout g;
  const Header big(1, 0x80000, 0x1000);  // 256 MiB of rows, 256 MiB turned
  ASSERT_TRUE(ReadStrictLayout(big.bytes, UINT64_MAX, &g));
  EXPECT_EQ(g.dst_bytes, 0x10000000);
  const Header too_big(1, 0x7FFFFFFF, 1);  // one row, but 8.6 GB turned
  EXPECT_FALSE(ReadStrictLayout(too_big.bytes, UINT64_MAX, &g));
}

TEST(ReadStrictLayout, RefusesWhatMustStayUntouched) {
  struct Case { const char* what; Header header; };
  Header compressed(8, 4, 4);
  WriteU32(compressed.bytes + kBiCompression, 1);
  const Case cases[] = {
      {"4 bits", Header(4, 4, 4)},
      {"16 bits", Header(16, 4, 4)},
      {"32 bits", Header(32, 4, 4)},
      {"0 bits", Header(0, 4, 4)},
      {"biSize 39", Header(8, 4, 4, 0, 39)},
      {"biSize past INT32_MAX", Header(8, 4, 4, 0, 0xFFFFFFF0u)},
      {"negative width", Header(8, -4, 4)},
      {"top-down", Header(24, 4, -4)},
      {"compressed", compressed},
      {"one-bit with a 108-byte header", Header(1, 8, 8, 0, 108)},
      {"one-bit with a one-entry table", Header(1, 8, 8, 1)},
      {"rows past INT32_MAX", Header(24, 0x7FFFFFFF, 2)},
      {"turned rows past INT32_MAX", Header(8, 0x20000000, 1)},
      {"table past INT32_MAX", Header(8, 1, 1, 0x40000000u)},
      {"table of 2^32 - 1 entries", Header(8, 1, 1, 0xFFFFFFFFu)},
  };
  for (const Case& c : cases) {
    ImageLayout g;
    EXPECT_FALSE(ReadStrictLayout(c.header.bytes, UINT64_MAX, &g)) << c.what;
  }
}

}  // namespace
}  // namespace quadturn

namespace quadturn {
namespace {

// The general reader: where the rows begin at every depth and header kind,
// against the tests' own offsets and strides.
TEST(ReadGeneralLayout, PlacesRowsForEveryDepthAndHeader) {
  struct Case {
    const char* what;
    int bits;
    uint32_t compression, clr_used, size;
    int32_t height;
  };
  const Case cases[] = {
      {"1 bit, default table", 1, 0, 0, 40, 3},
      {"1 bit, one entry", 1, 0, 1, 40, 3},
      {"4 bits, default table", 4, 0, 0, 40, 3},
      {"4 bits, 3 entries, V4", 4, 0, 3, 108, 3},
      {"8 bits, default table", 8, 0, 0, 40, 3},
      {"16 bits, no table", 16, 0, 0, 40, 3},
      {"16 bits, masks behind 40", 16, 3, 0, 40, 3},
      {"32 bits, masks inside a V4 header", 32, 3, 0, 108, 3},
      {"24 bits, optimisation table", 24, 0, 2, 40, -3},
      {"32 bits, masks and a table", 32, 3, 1, 40, 3},
  };
  for (const Case& c : cases) {
    test::Bytes block(2048);
    WriteU32(block.data() + kBiSize, c.size);
    WriteI32(block.data() + kBiWidth, 5);
    WriteI32(block.data() + kBiHeight, c.height);
    block[kBiPlanes] = 1;
    block[kBiBitCount] = static_cast<uint8_t>(c.bits);
    WriteU32(block.data() + kBiCompression, c.compression);
    WriteU32(block.data() + kBiClrUsed, c.clr_used);
    ImageLayout l;
    ASSERT_EQ(ReadGeneralLayout(block.data(), block.size(), &l), LayoutCheck::kOk) << c.what;
    const int32_t offset = test::RowsOffsetOf(block, test::Rules::kQuarterTurns);
    const int32_t stride = test::StrideOf(c.bits, 5);
    EXPECT_EQ(l.pixel_offset, offset) << c.what;
    EXPECT_EQ(l.src_stride, stride) << c.what;
    EXPECT_EQ(l.height, 3) << c.what;
    EXPECT_EQ(l.top_down, c.height < 0) << c.what;
    EXPECT_EQ(l.image_end, offset + 3 * stride) << c.what;
  }
}

}  // namespace
}  // namespace quadturn
