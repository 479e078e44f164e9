// Row strides, table lengths, pixel offsets and the checks that decide
// whether an image is turned at all.
#include <gtest/gtest.h>

#include <cstring>

#include "dib_layout.h"

namespace quadturn {
namespace {

TEST(RowStride, PadsEachDepthToWholeFourByteUnits) {
  struct Case { int bits; int64_t width; int64_t stride; };
  const Case cases[] = {
      {8, 1, 4},  {8, 4, 4},   {8, 5, 8},   {8, 0, 0},
      {24, 1, 4}, {24, 3, 12}, {24, 5, 16}, {24, 4, 12},
      {1, 1, 4},  {1, 32, 4},  {1, 33, 8},  {1, 0, 0},
      {8, INT32_MAX, 2147483648LL}, {24, INT32_MAX, 6442450944LL},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RowStride(c.width, c.bits), c.stride)
        << c.bits << "-bit width " << c.width;
  }
}

TEST(ColourTableBytes, FollowsBitCountAndClrUsed) {
  EXPECT_EQ(ColourTableBytes(1, 0), 8);
  EXPECT_EQ(ColourTableBytes(1, 256), 8);
  EXPECT_EQ(ColourTableBytes(8, 0), 1024);
  EXPECT_EQ(ColourTableBytes(8, 16), 64);
  EXPECT_EQ(ColourTableBytes(24, 0), 0);
  EXPECT_EQ(ColourTableBytes(24, 3), 12);
  EXPECT_EQ(ColourTableBytes(8, 0xFFFFFFFFu), 4 * int64_t{0xFFFFFFFF});
}

struct Header {
  uint8_t bytes[40] = {};
  Header(int bits, int32_t w, int32_t h, uint32_t clr_used = 0,
         uint32_t size = 40) {
    WriteU32(bytes + kBiSize, size);
    WriteI32(bytes + kBiWidth, w);
    WriteI32(bytes + kBiHeight, h);
    WriteU16(bytes + kBiPlanes, 1);
    WriteU16(bytes + kBiBitCount, static_cast<uint16_t>(bits));
    WriteU32(bytes + kBiClrUsed, clr_used);
  }
};

TEST(ReadStrictLayout, PlacesRowsAndSizesTheTurn) {
  struct Case {
    Header header;
    int32_t offset, src_stride, dst_stride, dst_bytes, turned;
  };
  const Case cases[] = {
      // 8-bit 3x2: rows behind a 256-entry table; turned 2 wide, 3 rows.
      {Header(8, 3, 2), 1064, 4, 4, 12, 1076},
      {Header(8, 5, 7, 16), 40 + 64, 8, 8, 40, 144},
      {Header(8, 5, 7, 16, 108), 108 + 64, 8, 8, 40, 212},
      {Header(24, 5, 2), 40, 16, 8, 40, 80},
      {Header(24, 1, 1, 0, 124), 124, 4, 4, 4, 128},
      {Header(1, 9, 3), 48, 4, 4, 36, 84},
      {Header(1, 33, 2, 2), 48, 8, 4, 132, 180},
      {Header(8, 0, 9), 1064, 0, 12, 0, 1064},
      {Header(24, 9, 0), 40, 28, 0, 0, 40},
  };
  for (const Case& c : cases) {
    ImageLayout g;
    ASSERT_TRUE(ReadStrictLayout(c.header.bytes, 1u << 20, &g));
    EXPECT_EQ(g.pixel_offset, c.offset);
    EXPECT_EQ(g.src_stride, c.src_stride);
    EXPECT_EQ(g.dst_stride, c.dst_stride);
    EXPECT_EQ(g.dst_bytes, c.dst_bytes);
    EXPECT_EQ(g.turned_block_bytes, c.turned);
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
// and which images it calls invalid and which unsupported.
TEST(ReadGeneralLayout, PlacesRowsForEveryDepthAndHeader) {
  struct Case {
    const char* what;
    int bits;
    uint32_t compression, clr_used, size;
    int32_t height;
    int32_t offset, stride;
    bool top_down;
  };
  const Case cases[] = {
      {"1 bit, default table", 1, 0, 0, 40, 3, 48, 4, false},
      {"1 bit, one entry", 1, 0, 1, 40, 3, 44, 4, false},
      {"4 bits, default table", 4, 0, 0, 40, 3, 40 + 64, 4, false},
      {"4 bits, 3 entries, V4", 4, 0, 3, 108, 3, 108 + 12, 4, false},
      {"8 bits, default table", 8, 0, 0, 40, 3, 1064, 8, false},
      {"16 bits, no table", 16, 0, 0, 40, 3, 40, 12, false},
      {"16 bits, masks behind 40", 16, 3, 0, 40, 3, 52, 12, false},
      {"32 bits, masks inside a V4 header", 32, 3, 0, 108, 3, 108, 20, false},
      {"24 bits, optimisation table", 24, 0, 2, 40, -3, 48, 16, true},
      {"32 bits, masks and a table", 32, 3, 1, 40, 3, 56, 20, false},
  };
  for (const Case& c : cases) {
    uint8_t block[2048] = {};
    WriteU32(block + kBiSize, c.size);
    WriteI32(block + kBiWidth, 5);
    WriteI32(block + kBiHeight, c.height);
    WriteU16(block + kBiPlanes, 1);
    WriteU16(block + kBiBitCount, static_cast<uint16_t>(c.bits));
    WriteU32(block + kBiCompression, c.compression);
    WriteU32(block + kBiClrUsed, c.clr_used);
    ImageLayout l;
    ASSERT_EQ(ReadGeneralLayout(block, sizeof block, &l), LayoutCheck::kOk) << c.what;
    EXPECT_EQ(l.pixel_offset, c.offset) << c.what;
    EXPECT_EQ(l.src_stride, c.stride) << c.what;
    EXPECT_EQ(l.height, 3) << c.what;
    EXPECT_EQ(l.top_down, c.top_down) << c.what;
    EXPECT_EQ(l.image_end, c.offset + 3 * c.stride) << c.what;
  }
}

}  // namespace
}  // namespace quadturn
