// The frames of an animated PNG turned with its image: each frame's data
// (its fdAT chunks) made a PNG stream of its own, turned by the caller as
// the image is, and put back as fdAT chunks; each frame's control chunk
// (fcTL) given the turned frame's size and place on the turned canvas; the
// sequence numbers given again in order. The animation's own chunk (acTL),
// delays, disposal and blending stay as they were.
#ifndef QUADTURN_TOOLS_PNG_FRAMES_H
#define QUADTURN_TOOLS_PNG_FRAMES_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "png_chunks.h"

namespace quadturn::tool {

// Turns one frame: `frame` is a whole PNG stream of the frame alone; the
// turned frame's stream goes to `turned` (any chunks; its IDAT data is
// what is kept). False with the reason.
using FrameTurner =
    std::function<bool(const std::string& frame, std::string* turned, std::string* error)>;

// Turns the frames among `chunks` (the file's kept chunks, in the file's
// order) given RotateFlip's `stored_type` on the stored canvas of
// width x height, the file's IHDR data being `header` (13 bytes). Marks the
// acTL, fcTL and fdAT chunks as made for the turned image. False with the
// reason where a frame is damaged or cannot be turned.
bool TurnPngFrames(std::vector<PngChunk>* chunks, const std::string& header, uint32_t width,
                   uint32_t height, int stored_type, const FrameTurner& turn,
                   std::string* error);

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_PNG_FRAMES_H
