// From an opened caller's block and its read layout to the image in its new
// orientation: every turn inside the caller's block, re-sized to fit, the
// header restated by the entry's contract. The working memory a turn needs
// and any growth of the block are had before any pixel moves.
#include <cstring>

#include "rotate.h"
#include "orient.h"
#include "working_block.h"

namespace quadturn {
namespace {

// Restates the first 40 header bytes for an orientation that exchanges the
// axes: width and height exchanged and the image size restated for the
// turned rows.
void TurnHeader(uint8_t* header, const ImageLayout& l, Contract contract) {
  WriteI32(header + kBiWidth, l.height);
  // A top-down image stays top-down.
  WriteI32(header + kBiHeight, l.top_down ? -l.width : l.width);
  WriteU32(header + kBiSizeImage, static_cast<uint32_t>(l.dst_bytes));
  if (contract == Contract::kQuarterTurns) {
    // The turned image's pixels keep their shape: its horizontal resolution
    // is the old vertical one and the other way round.
    uint8_t x[4];
    std::memcpy(x, header + kBiXPelsPerMeter, 4);
    std::memmove(header + kBiXPelsPerMeter, header + kBiYPelsPerMeter, 4);
    std::memcpy(header + kBiYPelsPerMeter, x, 4);
  } else if (l.bits_per_pixel == 1) {
    // A 1-bit image keeps its two colours; the counts are cleared.
    WriteU32(header + kBiClrUsed, 0);
    WriteU32(header + kBiClrImportant, 0);
  }
}

}  // namespace

Outcome TurnAndRefit(CallerBlock* b, const ImageLayout& l, Orientation o, Contract contract) {
  const int bits = l.bits_per_pixel;
  const uint8_t pad = contract == Contract::kRotate90 && bits == 8 ? 0xFF : 0x00;
  // A bottom-up image's stored rows run upwards: over them the turns and
  // the transposes are their opposites.
  const Orientation stored = l.top_down ? o : OnRowsFromTheBottom(o);
  if (!SwapsAxes(o)) {
    // Width and height stay: rows, or the pixels in them, reverse, with no
    // working memory and nothing to re-size.
    OrientInPlace(bits, b->bytes + l.pixel_offset, l.src_stride, l.src_stride, l.width, l.height,
                  stored, pad, nullptr);
    return Outcome::kTurned;
  }

  // Whatever can fail comes first: the turn's working memory, then room for
  // the turned image. From the first pixel moved on, nothing can.
  const SIZE_T work_bytes = OrientWorkBytes(bits, l.width, l.height, stored, Place::kInPlace);
  WorkingBlock work(work_bytes > 0 ? GlobalAlloc(GMEM_MOVEABLE, work_bytes) : nullptr);
  if (work_bytes > 0 && (work.handle == nullptr || !work.Lock(work_bytes))) {
    return Outcome::kNoMemory;
  }
  const SIZE_T turned_size = static_cast<SIZE_T>(l.turned_block_bytes);
  if (!MakeRoomForTurn(b, turned_size)) return Outcome::kNoMemory;

  // A profile behind the rows moves with whatever lies between them and it:
  // out of the way before turned rows that take more bytes are written, and
  // after turned rows that take fewer.
  uint8_t* block = b->bytes;
  const SIZE_T image_end = static_cast<SIZE_T>(l.image_end);
  const SIZE_T turned_end = static_cast<SIZE_T>(l.pixel_offset) + static_cast<SIZE_T>(l.dst_bytes);
  const SIZE_T trailer = l.profile_bytes > 0 ? static_cast<SIZE_T>(l.profile_offset) +
                                                   static_cast<SIZE_T>(l.profile_bytes) - image_end
                                             : 0;
  if (trailer > 0 && turned_end > image_end) std::memmove(block + turned_end, block + image_end, trailer);
  OrientInPlace(bits, block + l.pixel_offset, l.src_stride, l.dst_stride, l.width, l.height,
                stored, pad, work.bytes);
  if (trailer > 0 && turned_end < image_end) std::memmove(block + turned_end, block + image_end, trailer);
  if (trailer > 0) WriteU32(block + kBV5ProfileData, static_cast<uint32_t>(l.turned_profile_offset));
  TurnHeader(block, l, contract);
  FinishTurn(b, turned_size);
  return Outcome::kTurned;
}

}  // namespace quadturn
