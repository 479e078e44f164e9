// The road from a locked caller's block and a read layout to the turned
// image written back: half turns and squares in place, other quarter turns
// through a scratch block, the header restated by the entry's rules. The
// working memory a turn needs is had before any pixel moves.
#include <cstring>

#include "rotate.h"
#include "turn_kernels.h"
#include "working_block.h"

namespace quadturn {
namespace {

// The first 40 header bytes after a quarter turn: width and height
// exchanged and the image size restated for the turned rows.
void TurnedHeader(const uint8_t* old, const ImageLayout& l, HeaderRules rules,
                  uint8_t header[kInfoHeaderBytes]) {
  std::memcpy(header, old, kInfoHeaderBytes);
  WriteI32(header + kBiWidth, l.height);
  // A top-down image stays top-down.
  WriteI32(header + kBiHeight, l.top_down ? -l.width : l.width);
  WriteU32(header + kBiSizeImage, static_cast<uint32_t>(l.dst_bytes));
  if (rules == HeaderRules::kGeneral) {
    // The turned image's pixels keep their shape: its horizontal resolution
    // is the old vertical one and the other way round.
    std::memcpy(header + kBiXPelsPerMeter, old + kBiYPelsPerMeter, 4);
    std::memcpy(header + kBiYPelsPerMeter, old + kBiXPelsPerMeter, 4);
  } else if (l.bits_per_pixel == 1) {
    // The one-bit road keeps its two colours and clears the counts.
    WriteU32(header + kBiClrUsed, 0);
    WriteU32(header + kBiClrImportant, 0);
  }
}

}  // namespace

Outcome TurnLockedImage(CallerBlock* b, const ImageLayout& l, int quarters, HeaderRules rules) {
  const int bits = l.bits_per_pixel;
  const uint8_t pad = rules == HeaderRules::kOriginal && bits == 8 ? 0xFF : 0x00;
  uint8_t* rows = b->bytes + l.pixel_offset;
  if (quarters == 0) {
    UnlockCallerBlock(b);
    return Outcome::kTurned;
  }
  if (quarters == 2) {
    // Width and height stay: the rows and the pixels in them reverse.
    TurnHalfInPlace(bits, rows, l.src_stride, l.width, l.height, pad);
    UnlockCallerBlock(b);
    return Outcome::kTurned;
  }
  // Top-down rows are stored the other way up, so the stored-row mapping of
  // a turn is that of the opposite turn of bottom-up rows.
  Direction direction = quarters == 1 ? Direction::kRight : Direction::kLeft;
  if (l.top_down) direction = Opposite(direction);

  uint8_t header[kInfoHeaderBytes];
  TurnedHeader(b->bytes, l, rules, header);
  uint8_t profile_at[4];
  WriteU32(profile_at, static_cast<uint32_t>(l.turned_profile_offset));
  // A profile behind the rows moves with whatever lies between them and it,
  // before the turned rows are written over where it was.
  const SIZE_T turned_image = static_cast<SIZE_T>(l.pixel_offset) + static_cast<SIZE_T>(l.dst_bytes);
  const SIZE_T trailer = l.profile_bytes > 0 ? static_cast<SIZE_T>(l.profile_offset) +
                                                   static_cast<SIZE_T>(l.profile_bytes) -
                                                   static_cast<SIZE_T>(l.image_bytes)
                                             : 0;
  Piece pieces[4] = {
      {turned_image, nullptr, trailer, static_cast<SIZE_T>(l.image_bytes)},
      {0, header, kInfoHeaderBytes},
      {kBV5ProfileData, profile_at, trailer > 0 ? 4u : 0u},
      {static_cast<SIZE_T>(l.pixel_offset), nullptr, 0}};
  const SIZE_T turned_size = static_cast<SIZE_T>(l.turned_block_bytes);

  if (l.width == l.height) {
    // A square keeps its stride and size: it turns inside the caller's
    // block, with only the tiles it holds aside in a working block, and
    // nothing to re-size.
    const std::size_t buffer_bytes = TurnSquareBufferBytes(bits, l.width);
    const SIZE_T work_bytes = TurnBufferRoom(buffer_bytes);
    WorkingBlock work(work_bytes > 0 ? GlobalAlloc(GMEM_MOVEABLE, work_bytes) : nullptr);
    if (work_bytes > 0 && (work.handle == nullptr || !work.Lock(work_bytes))) {
      UnlockCallerBlock(b);
      return Outcome::kNoMemory;
    }
    TurnSquareInPlace(bits, rows, l.src_stride, l.width, direction, pad,
                      TurnBufferAt(work.bytes, buffer_bytes));
    return CommitTurnedImage(b, turned_size, pieces, 3) ? Outcome::kTurned : Outcome::kNoMemory;
  }
  // Otherwise the turned rows go to a scratch block first, with the turn's
  // buffer behind them: the caller's block holds the source rows until they
  // are all read.
  const std::size_t buffer_bytes = TurnRowsBufferBytes(bits, l.width, l.height);
  const SIZE_T scratch_bytes = static_cast<SIZE_T>(l.dst_bytes) + TurnBufferRoom(buffer_bytes);
  WorkingBlock scratch(GlobalAlloc(GMEM_MOVEABLE, scratch_bytes));
  if (scratch.handle == nullptr || !scratch.Lock(scratch_bytes)) {
    UnlockCallerBlock(b);
    return Outcome::kNoMemory;
  }
  TurnRows(bits, rows, l.src_stride, scratch.bytes, l.dst_stride, l.width, l.height, direction,
           pad, TurnBufferAt(scratch.bytes + l.dst_bytes, buffer_bytes));
  pieces[3].bytes = scratch.bytes;
  pieces[3].length = static_cast<SIZE_T>(l.dst_bytes);
  return CommitTurnedImage(b, turned_size, pieces, 4) ? Outcome::kTurned : Outcome::kNoMemory;
}

}  // namespace quadturn
