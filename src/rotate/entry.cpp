// The two exported operations: lock the caller's block, check its header,
// turn the rows into a scratch block, re-size the caller's block and write the
// turned image back. One road for every depth; any failure leaves the block
// untouched.
#include <cstring>

#include "dib_layout.h"
#include "rotate.h"
#include "turn_kernels.h"
#include "working_block.h"

namespace quadturn {
namespace {

BOOL Rotate(HGLOBAL h, Direction direction) {
  BOOL last_unlock = FALSE;
  TurnBlock(h, direction, &last_unlock);
  return last_unlock;
}

}  // namespace

bool LockTurnable(HGLOBAL h, CallerBlock* b, TurnGeometry* g) {
  if (LockCallerBlock(h, b) != LockOutcome::kLocked) return false;
  if (b->size < static_cast<SIZE_T>(kInfoHeaderBytes) || !ReadTurnGeometry(b->bytes, b->size, g)) {
    UnlockCallerBlock(b);
    return false;
  }
  return true;
}

Outcome TurnBlock(HGLOBAL h, Direction direction, BOOL* last_unlock) {
  CallerBlock b;
  TurnGeometry g;
  if (!LockTurnable(h, &b, &g)) {
    *last_unlock = b.last_unlock;
    return Outcome::kUntouched;
  }
  // The header as it was on entry, with width and height exchanged and the
  // image size restated for the turned rows; resolutions stay as they were.
  // A 1-bit image keeps its own two colours; its colour counts become 0.
  uint8_t header[kInfoHeaderBytes];
  std::memcpy(header, b.bytes, sizeof header);
  WriteI32(header + kBiWidth, g.height);
  WriteI32(header + kBiHeight, g.width);
  WriteU32(header + kBiSizeImage, static_cast<uint32_t>(g.dst_bytes));
  if (g.bits_per_pixel == 1) {
    WriteU32(header + kBiClrUsed, 0);
    WriteU32(header + kBiClrImportant, 0);
  }

  // 8-bit rows are padded with 0xFF, all others with 0.
  const int bits = g.bits_per_pixel;
  const uint8_t pad = bits == 8 ? 0xFF : 0x00;
  uint8_t* rows = b.bytes + g.pixel_offset;
  bool written;
  if (g.width == g.height) {
    // A square keeps its stride and size: it turns inside the caller's
    // block, with no scratch block and nothing to re-size.
    TurnSquareInPlace(bits, rows, g.src_stride, g.width, direction, pad);
    const Piece pieces[] = {{0, header, kInfoHeaderBytes}};
    written = CommitTurnedImage(&b, static_cast<SIZE_T>(g.turned_block_bytes), pieces, 1);
  } else {
    // Otherwise the turned rows go to a scratch block first: the caller's
    // block holds the source rows until they are all read.
    WorkingBlock scratch(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(g.dst_bytes)));
    if (scratch.handle == nullptr || !scratch.Lock(g.dst_bytes)) {
      UnlockCallerBlock(&b);
      *last_unlock = b.last_unlock;
      return Outcome::kUntouched;
    }
    TurnRows(bits, rows, g.src_stride, scratch.bytes, g.dst_stride, g.width, g.height,
             direction, pad);
    const Piece pieces[] = {{0, header, kInfoHeaderBytes},
                            {static_cast<SIZE_T>(g.pixel_offset), scratch.bytes,
                             static_cast<SIZE_T>(g.dst_bytes)}};
    written = CommitTurnedImage(&b, static_cast<SIZE_T>(g.turned_block_bytes), pieces, 2);
  }
  *last_unlock = b.last_unlock;
  return written ? Outcome::kTurned : Outcome::kUntouched;
}

}  // namespace quadturn

extern "C" {

BOOL WINAPI RotateRight90(HGLOBAL h) {
  return quadturn::Rotate(h, quadturn::Direction::kRight);
}

BOOL WINAPI RotateLeft90(HGLOBAL h) {
  return quadturn::Rotate(h, quadturn::Direction::kLeft);
}

}  // extern "C"
