// The reference road for one-bit images: widened to a grey 8-bit working
// image, turned on the 8-bit road, packed back to one bit and copied into the
// caller's block. The result keeps the caller's two colours and resolutions,
// exactly as the direct bit turn does; any failure leaves the block as it was.
#include <algorithm>
#include <cstring>

#include "grey_road.h"

#include "dib_layout.h"
#include "grey_kernels.h"
#include "working_block.h"

namespace quadturn {
namespace {

// Locks h if it holds a turnable image of `bits` per pixel; otherwise
// returns false with h as it was.
bool LockChecked(HGLOBAL h, int bits, CallerBlock* b, ImageLayout* g) {
  if (OpenImage(h, HeaderRules::kRotate90, b, g) != 0) return false;
  if (g->bits_per_pixel != bits) {
    UnlockCallerBlock(b);
    return false;
  }
  return true;
}

}  // namespace

HGLOBAL Expand1To8(HGLOBAL h) {
  ImageLayout g;
  CallerBlock b;
  if (!LockChecked(h, 1, &b, &g)) return nullptr;
  const uint8_t* src = b.bytes;
  // The grey copy is about eight times the rows; the road was only ever
  // defined for images whose copy and its turn stay below 2^31.
  const int64_t grey_stride = RowStride(g.width, 8);
  const int64_t grey_turned = RowStride(g.height, 8) * g.width;
  const int64_t grey_rows = grey_stride * g.height;
  if (kGreyPixelOffset + std::max(grey_rows, grey_turned) > INT32_MAX) {
    UnlockCallerBlock(&b);
    return nullptr;
  }
  const SIZE_T size = static_cast<SIZE_T>(kGreyPixelOffset + grey_rows);

  WorkingBlock grey(GlobalAlloc(GMEM_MOVEABLE, size));
  if (grey.handle == nullptr || !grey.Lock(size)) {
    UnlockCallerBlock(&b);
    return nullptr;
  }
  uint8_t* d = grey.bytes;
  std::memcpy(d, src, kInfoHeaderBytes);
  WriteU16(d + kBiBitCount, 8);
  WriteU32(d + kBiSizeImage, static_cast<uint32_t>(grey_rows));
  WriteI32(d + kBiXPelsPerMeter, 0);
  WriteI32(d + kBiYPelsPerMeter, 0);
  WriteU32(d + kBiClrUsed, 0);
  WriteU32(d + kBiClrImportant, 0);
  for (int i = 0; i < 256; ++i) {
    uint8_t* entry = d + kInfoHeaderBytes + 4 * i;
    entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
    entry[3] = 0;
  }
  ExpandBitsToBytes(src + kOneBitPixelOffset, g.src_stride,
                    d + kGreyPixelOffset, grey_stride, g.width, g.height);
  UnlockCallerBlock(&b);
  return grey.Release();
}

HGLOBAL Pack8To1(HGLOBAL grey_handle) {
  ImageLayout g;
  CallerBlock b;
  if (!LockChecked(grey_handle, 8, &b, &g)) return nullptr;
  const uint8_t* grey = b.bytes;
  if (g.pixel_offset != kGreyPixelOffset) {
    UnlockCallerBlock(&b);
    return nullptr;
  }
  const int32_t stride = static_cast<int32_t>(RowStride(g.width, 1));
  const int32_t rows = stride * g.height;  // at most the grey rows' bytes
  const SIZE_T size = static_cast<SIZE_T>(kOneBitPixelOffset) + rows;

  WorkingBlock packed(GlobalAlloc(GMEM_MOVEABLE, size));
  if (packed.handle == nullptr || !packed.Lock(size)) {
    UnlockCallerBlock(&b);
    return nullptr;
  }
  uint8_t* d = packed.bytes;
  std::memcpy(d, grey, kInfoHeaderBytes);
  WriteU16(d + kBiBitCount, 1);
  WriteU32(d + kBiSizeImage, static_cast<uint32_t>(rows));
  static const uint8_t kBlackWhite[kOneBitTableBytes] = {0, 0, 0, 0,
                                                         255, 255, 255, 0};
  std::memcpy(d + kInfoHeaderBytes, kBlackWhite, sizeof kBlackWhite);
  PackBytesToBits(grey + kGreyPixelOffset, g.src_stride,
                  d + kOneBitPixelOffset, stride, g.width, g.height);
  UnlockCallerBlock(&b);
  return packed.Release();
}

Outcome TurnOneBitThroughGrey(HGLOBAL h, Orientation turn, BOOL* last_unlock) {
  ImageLayout g;
  CallerBlock b;
  if (!LockChecked(h, 1, &b, &g)) {
    *last_unlock = b.last_unlock;
    return Outcome::kNoMemory;
  }

  // What the grey road drops and the turned image keeps: the two colour
  // entries and the resolutions.
  uint8_t kept[kOneBitPixelOffset];
  std::memcpy(kept, b.bytes, sizeof kept);

  auto untouched = [&] {
    UnlockCallerBlock(&b);
    *last_unlock = b.last_unlock;
    return Outcome::kNoMemory;
  };
  WorkingBlock grey(Expand1To8(h));
  if (grey.handle == nullptr) return untouched();
  // The grey image is turned as RotateRight90 turns 8-bit images.
  CallerBlock gb;
  ImageLayout gl;
  if (OpenImage(grey.handle, HeaderRules::kRotate90, &gb, &gl) != 0 ||
      TurnLockedImage(&gb, gl, turn, HeaderRules::kRotate90) != Outcome::kTurned) {
    return untouched();
  }
  const SIZE_T size = static_cast<SIZE_T>(g.turned_block_bytes);
  WorkingBlock packed(Pack8To1(grey.handle));
  if (packed.handle == nullptr || GlobalSize(packed.handle) < size ||
      !packed.Lock(size)) {
    return untouched();
  }
  uint8_t* p = packed.bytes;
  std::memcpy(p + kBiXPelsPerMeter, kept + kBiXPelsPerMeter, 8);
  std::memcpy(p + kInfoHeaderBytes, kept + kInfoHeaderBytes, kOneBitTableBytes);

  const bool room = MakeRoomForTurn(&b, size);
  if (room) {
    std::memcpy(b.bytes, p, size);
    FinishTurn(&b, size);
  }
  *last_unlock = b.last_unlock;
  return room ? Outcome::kTurned : Outcome::kNoMemory;
}

}  // namespace quadturn
