// Test images as raw packed-DIB bytes, the blocks that hold them, and the
// per-pixel oracle every turn is checked against.
#ifndef QUADTURN_TESTS_TEST_IMAGES_H
#define QUADTURN_TESTS_TEST_IMAGES_H

#include <cstdint>
#include <string>
#include <vector>

#include "quadturn.h"

namespace quadturn::test {

using Bytes = std::vector<uint8_t>;

enum class Turn { kRight, kLeft };

// Small deterministic generator; a test names its case number so that any
// failing case can be run again on its own.
struct Rng {
  uint64_t state;
  explicit Rng(uint64_t case_number) : state(case_number * 0x9E3779B97F4A7C15u + 1) {}
  uint64_t Next();
  uint8_t Byte() { return static_cast<uint8_t>(Next() >> 56); }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
};

// Which rules say where a DIB's rows lie and what a turn makes of the
// header: RotateQuarterTurns' (every uncompressed layout), or those of
// RotateRight90 and RotateLeft90 (a one-bit image's rows always 48 bytes in,
// its colour counts cleared, 8-bit rows padded with 0xFF, resolutions kept).
enum class Rules { kQuarterTurns, kRotate90 };

// A packed DIB as a test builds it. Every byte that is not a header field
// set here is random.
struct Shape {
  int bits = 8;                // 1, 4, 8, 16, 24 or 32
  int32_t width = 1;
  int32_t height = 1;          // rows; stored as -height when top_down
  bool top_down = false;
  uint32_t header_bytes = 40;  // biSize: 40, 52, 56, 108, 124, ...
  bool bitfields = false;      // BI_BITFIELDS (16 and 32 bits)
  bool alpha_mask = false;     // ... BI_ALPHABITFIELDS, with a fourth mask
  uint32_t clr_used = 0;
  int32_t x_ppm = 2835;
  int32_t y_ppm = 3780;
  uint32_t clr_important = 0;
  int64_t size_image = -1;     // biSizeImage; -1 for the rows' bytes
  uint32_t profile_bytes = 0;  // a V5 header's embedded profile behind the rows
  uint32_t profile_gap = 0;    // bytes between the rows and the profile
  uint32_t slack = 0;          // unused bytes at the end of the block
};

// A DIB laid out as `shape` says under `rules`.
Bytes MakeDib(const Shape& shape, Rng& rng, Rules rules = Rules::kQuarterTurns);
std::string Describe(const Shape& shape);

// Stored-row stride, written out per bit count (independent of the library).
int32_t StrideOf(int bits, int32_t width);
// Where the rows begin under `rules`, computed here independently of the
// library: header, masks behind a 40-byte header, biClrUsed entries or
// 2^bits at up to 8 bits (48 for every one-bit image under kRotate90, and
// only biClrUsed entries at 4 bits).
int32_t RowsOffsetOf(const Bytes& dib, Rules rules);

// The block a turn of `quarters` quarter turns clockwise (negative:
// counter-clockwise) must leave, one pixel at a time, and the block
// RotateFlip(type) must (types 0-7: quarter turns clockwise, then mirrored;
// as displayed). An orientation that exchanges the axes (1, 3, 5, 7)
// exchanges width and height (a top-down image stays top-down), restates
// biSizeImage, pads rows (0, or 0xFF at 8 bits under kRotate90), cuts the
// block to the turned image and, under kQuarterTurns, exchanges the
// resolutions and keeps a profile at the same distance behind the turned
// rows; under kRotate90 a one-bit image's colour counts are cleared. The
// others move only the pixels; 0 changes nothing.
Bytes Oracle(const Bytes& dib, int quarters, Rules rules);
Bytes OracleOriented(const Bytes& dib, int type, Rules rules);
// The type of `quarters` quarter turns clockwise.
int TypeOfTurns(int quarters);
inline int QuartersOf(Turn turn) { return turn == Turn::kRight ? 1 : -1; }

// Pixel x of a stored row of `bits` per pixel (1, 2, 4, 8, 16, 24 or 32),
// and setting it: pixels of fewer than 8 bits most significant first,
// wider ones little-endian.
uint32_t GetPixel(int bits, const uint8_t* row, int32_t x);
void SetPixel(int bits, uint8_t* row, int32_t x, uint32_t v);
// Pixel x_from of row `from` to pixel x_to of row `to`, at any pixel size
// (pixels not of whole bytes packed most significant bit first).
void CopyPixel(int bits, const uint8_t* from, int32_t x_from, uint8_t* to, int32_t x_to);

// `h` rows of `w` pixels, the top one first, given orientation `type`
// (RotateFlip's 0-7), one pixel at a time, into rows of the usual stride:
// padding bits 0, padding bytes `pad`. The one mapping every test and fuzz
// target checks against.
Bytes OracleRows(int bits, const uint8_t* src, int32_t src_stride, int32_t w, int32_t h,
                 int type, uint8_t pad);

// A block holding `bytes` (exactly that size), movable unless `flags` say
// GMEM_FIXED or GPTR, and its bytes back (a fixed block is its own address).
HGLOBAL ToBlock(const Bytes& bytes, UINT flags = GMEM_MOVEABLE);
Bytes FromBlock(HGLOBAL h);
UINT LockCount(HGLOBAL h);

// What a call left in a block that held `before`, given the image the turn
// should give (`turned`): exactly one of the two, or one of them with unused
// bytes behind it where the block could not be cut back (kBroken otherwise:
// a mixture, a wrong turn, a wrong size).
enum class Verdict { kUntouched, kUntouchedLonger, kTurned, kTurnedLonger, kBroken };
inline bool IsTurned(Verdict v) { return v == Verdict::kTurned || v == Verdict::kTurnedLonger; }
Verdict Judge(const Bytes& before, const Bytes& turned, const Bytes& after);
const char* Name(Verdict v);

BOOL Apply(Turn turn, HGLOBAL h);

uint32_t U32At(const Bytes& b, int offset);
int32_t I32At(const Bytes& b, int offset);
void PutU32(Bytes& b, int offset, uint32_t v);

}  // namespace quadturn::test

#endif  // QUADTURN_TESTS_TEST_IMAGES_H
