// EXIF data (a TIFF structure: byte order, IFD0, the Exif IFD, IFD1 with
// its thumbnail) as PNG's eXIf chunk and JPEG's APP1 segment carry it: the
// orientation a viewer applies, the pixel dimensions and resolutions a
// quarter turn exchanges, the thumbnail a turn turns too. Every offset is
// checked against the data; damaged data is left as it is.
#ifndef QUADTURN_TOOLS_EXIF_H
#define QUADTURN_TOOLS_EXIF_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// Exchanges IFD0's XResolution and YResolution where both are given.
void ExchangeExifResolutions(uint8_t* exif, std::size_t size);

// Sets the Orientation in IFD0, adding it where IFD0 has none (IFD0 is then
// written again, with it, behind the data, and the header points there);
// false where the data is damaged.
bool PutExifOrientation(std::vector<uint8_t>* exif, int orientation);

// EXIF data holding only an orientation (little-endian).
std::vector<uint8_t> ExifWithOrientation(int orientation);

// The thumbnail IFD1 gives as a JPEG stream: where it lies in the data;
// false where there is none or it lies outside the data.
bool ExifThumbnail(const uint8_t* exif, std::size_t size, uint32_t* at, uint32_t* length);

// Puts `thumbnail` in the place of the one ExifThumbnail finds (where it
// ends the data, or fits), or at the end of the data, the old place
// cleared; false where IFD1 cannot say where it lies.
bool ReplaceExifThumbnail(std::vector<uint8_t>* exif, const std::string& thumbnail);

// Drops the thumbnail: IFD0 no longer leads to IFD1.
void DropExifThumbnail(uint8_t* exif, std::size_t size);

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_EXIF_H
