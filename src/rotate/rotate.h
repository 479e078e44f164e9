// What every entry does: open the caller's block and read its image (one
// door), then turn it inside the block, restate the header and re-size.
#ifndef QUADTURN_ROTATE_H
#define QUADTURN_ROTATE_H

#include <cstdint>

#include "caller_block.h"
#include "dib_layout.h"
#include "orientation.h"
#include "quadturn.h"

namespace quadturn {

enum class Outcome {
  kTurned,
  kNoMemory,  // a block, lock or re-size could not be had: the image is untouched
};

// How a quarter turn restates the header. kRotate90: RotateRight90 and
// RotateLeft90 (resolutions carried, not exchanged; 8-bit rows padded with
// 0xFF; a 1-bit image's colour counts become 0). kQuarterTurns: RotateQuarterTurns
// and RotateFlip (resolutions exchanged, every row padded with 0, top-down
// kept, a profile behind the rows moved with them).
enum class HeaderRules { kRotate90, kQuarterTurns };

// Gives the image described by `layout` in the caller's block `b`, opened
// by this call, orientation `o` (as the picture is displayed). Every
// orientation happens inside the block, which is re-sized to fit; the
// working memory it takes is a few rows and columns of the image.
Outcome TurnLockedImage(CallerBlock* b, const ImageLayout& layout, Orientation o,
                        HeaderRules rules);

// The one door of every entry: locks h for this call (the caller's own lock
// count undisturbed) and reads its image with the entry's reader, the strict
// one for kRotate90, the general one for kQuarterTurns. Returns 0, or why not:
// ERROR_INVALID_HANDLE (no block to lock), ERROR_NOT_ENOUGH_MEMORY (the lock
// was refused), ERROR_NOT_SUPPORTED or ERROR_INVALID_DATA (the reader's
// verdict; the strict reader says only the first). Unless 0, nothing is
// held and h is as it was.
DWORD OpenImage(HGLOBAL h, HeaderRules rules, CallerBlock* b, ImageLayout* layout);

}  // namespace quadturn

#endif  // QUADTURN_ROTATE_H
