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

Outcome Untouched(HGLOBAL h, BOOL* last_unlock) {
  *last_unlock = GlobalUnlock(h);
  return Outcome::kUntouched;
}

BOOL Rotate(HGLOBAL h, Direction direction) {
  BOOL last_unlock = FALSE;
  TurnBlock(h, direction, &last_unlock);
  return last_unlock;
}

}  // namespace

uint8_t* LockTurnable(HGLOBAL h, SIZE_T* block_size, TurnGeometry* g, BOOL* last_unlock) {
  *last_unlock = FALSE;
  auto* base = static_cast<uint8_t*>(GlobalLock(h));
  if (base == nullptr) return nullptr;
  *block_size = GlobalSize(h);
  if (*block_size < static_cast<SIZE_T>(kInfoHeaderBytes) ||
      !ReadTurnGeometry(base, *block_size, g)) {
    *last_unlock = GlobalUnlock(h);
    return nullptr;
  }
  return base;
}

Outcome TurnBlock(HGLOBAL h, Direction direction, BOOL* last_unlock) {
  SIZE_T block_size;
  TurnGeometry g;
  uint8_t* base = LockTurnable(h, &block_size, &g, last_unlock);
  if (base == nullptr) return Outcome::kUntouched;
  // The turned rows go to a scratch block first: the caller's block still
  // holds the source rows until they are all read. The kernels write every
  // byte of it, padding included.
  WorkingBlock scratch(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(g.dst_bytes)));
  if (scratch.handle == nullptr || !scratch.Lock(g.dst_bytes)) {
    return Untouched(h, last_unlock);
  }
  const uint8_t* rows = base + g.pixel_offset;
  if (g.bits_per_pixel == 1) {
    TurnBits(rows, g.src_stride, scratch.bytes, g.dst_stride, g.width, g.height,
             direction);
  } else {
    TurnPixels(rows, g.src_stride, scratch.bytes, g.dst_stride, g.width, g.height,
               g.bits_per_pixel / 8, direction);
  }

  // The header as it was on entry, with width and height exchanged and the
  // image size restated for the turned rows; resolutions stay as they were.
  // A 1-bit image keeps its own two colours; its colour counts become 0.
  uint8_t header[kInfoHeaderBytes];
  std::memcpy(header, base, sizeof header);
  WriteI32(header + kBiWidth, g.height);
  WriteI32(header + kBiHeight, g.width);
  WriteU32(header + kBiSizeImage, static_cast<uint32_t>(g.dst_bytes));
  if (g.bits_per_pixel == 1) {
    WriteU32(header + kBiClrUsed, 0);
    WriteU32(header + kBiClrImportant, 0);
  }

  const Piece pieces[] = {{0, header, kInfoHeaderBytes},
                          {g.pixel_offset, scratch.bytes, g.dst_bytes}};
  const bool written = CommitTurnedImage(
      h, base, block_size, static_cast<SIZE_T>(g.turned_block_bytes), pieces,
      2, last_unlock);
  return written ? Outcome::kTurned : Outcome::kUntouched;
}

bool CommitTurnedImage(HGLOBAL h, const uint8_t* base, SIZE_T old_size,
                       SIZE_T new_size, const Piece* pieces, int piece_count,
                       BOOL* last_unlock) {
  // A shrink drops the block's last bytes before the result is in; keep them
  // until it is, so that any failure on the way can put them back.
  const SIZE_T tail_size = new_size < old_size ? old_size - new_size : 0;
  WorkingBlock tail(tail_size > 0 ? GlobalAlloc(GMEM_MOVEABLE, tail_size)
                                  : nullptr);
  if (tail_size > 0) {
    if (tail.handle == nullptr || !tail.Lock(tail_size)) {
      *last_unlock = GlobalUnlock(h);
      return false;
    }
    std::memcpy(tail.bytes, base + new_size, tail_size);
  }

  *last_unlock = GlobalUnlock(h);
  if (GlobalReAlloc(h, new_size, GMEM_MOVEABLE) == nullptr) return false;
  auto* bytes = static_cast<uint8_t*>(GlobalLock(h));
  if (bytes == nullptr) {
    // The re-size went through but the block cannot be reached: undo it.
    GlobalReAlloc(h, old_size, GMEM_MOVEABLE);
    if (tail_size > 0) {
      auto* restored = static_cast<uint8_t*>(GlobalLock(h));
      if (restored != nullptr) {
        std::memcpy(restored + new_size, tail.bytes, tail_size);
        *last_unlock = GlobalUnlock(h);
      }
    }
    return false;
  }
  for (int i = 0; i < piece_count; ++i) {
    if (pieces[i].length > 0) {
      std::memcpy(bytes + pieces[i].offset, pieces[i].bytes, pieces[i].length);
    }
  }
  *last_unlock = GlobalUnlock(h);
  return true;
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
