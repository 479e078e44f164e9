// Turning a packed DIB held in memory through the library and a movable block.
#ifndef QUADTURN_TOOLS_TURN_DIB_H
#define QUADTURN_TOOLS_TURN_DIB_H

#include <string>

#include "bmp_file.h"

namespace qt_tool {

enum class Turn { kRight, kLeft, kHalf };

// Turns `dib` in place. Returns false, with `dib` as it was and the reason in
// `error`, when the library leaves the image untouched.
bool TurnDib(Dib* dib, Turn turn, std::string* error);

}  // namespace qt_tool

#endif  // QUADTURN_TOOLS_TURN_DIB_H
