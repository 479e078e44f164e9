// EXIF data (a TIFF structure: byte order, IFD0, the Exif IFD) as PNG's
// eXIf chunk carries it: the orientation a viewer applies, and the pixel
// dimensions a quarter turn exchanges. Every offset is checked against the
// data; damaged data is left as it is.
#ifndef QUADTURN_TOOLS_EXIF_H
#define QUADTURN_TOOLS_EXIF_H

#include <cstddef>
#include <cstdint>

namespace quadturn::tool {

// The Orientation (1-8) in IFD0, or 0 where there is none or it is damaged.
int ExifOrientation(const uint8_t* exif, std::size_t size);

// Sets the Orientation in IFD0 where it is given (a SHORT); false where it
// is not.
bool SetExifOrientation(uint8_t* exif, std::size_t size, int orientation);

// Exchanges the Exif IFD's PixelXDimension and PixelYDimension where both
// are given; false where they are given but one value does not fit the
// other's type (then both stay).
bool ExchangeExifDimensions(uint8_t* exif, std::size_t size);

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_EXIF_H
