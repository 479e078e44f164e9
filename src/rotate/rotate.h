// What every DIB entry does: open the caller's block and read its image (one
// door), then turn it inside the block, restate the header and re-size the
// block to fit (one road).
#ifndef QUADTURN_ROTATE_H
#define QUADTURN_ROTATE_H

#include <cstdint>

#include "caller_block.h"
#include "dib_layout.h"
#include "orient.h"
#include "quadturn.h"

namespace quadturn {

enum class Outcome {
  kTurned,
  kNoMemory,  // a block, lock or re-size could not be had: the image is untouched
};

// What an entry promises, which decides how its image is read and how the
// turned one is written. kRotate90: RotateRight90 and RotateLeft90 (the
// strict reader; resolutions carried, not exchanged; 8-bit rows padded with
// 0xFF; a 1-bit image's colour counts become 0). kQuarterTurns:
// RotateQuarterTurns and RotateFlip (the general reader; resolutions
// exchanged, every row padded with 0, top-down kept, a profile behind the
// rows moved with them).
enum class Contract { kRotate90, kQuarterTurns };

// Gives the image described by `layout` in the caller's block `b`, opened
// by this call, orientation `o` (as the picture is displayed), inside the
// block: the header restated by the contract, the call's lock given back
// and the block re-sized to fit. The working memory it takes is a few rows
// and columns of the image.
Outcome TurnAndRefit(CallerBlock* b, const ImageLayout& layout, Orientation o,
                     Contract contract);

// The one door of every entry: locks h for this call (the caller's own lock
// count undisturbed) and reads its image with the contract's reader. Returns 0, or why not:
// ERROR_INVALID_HANDLE (no block to lock), ERROR_NOT_ENOUGH_MEMORY (the lock
// was refused), ERROR_NOT_SUPPORTED or ERROR_INVALID_DATA (the reader's
// verdict; the strict reader says only the first). Unless 0, nothing is
// held and h is as it was.
DWORD OpenImage(HGLOBAL h, Contract contract, CallerBlock* b, ImageLayout* layout);

}  // namespace quadturn

#endif  // QUADTURN_ROTATE_H
