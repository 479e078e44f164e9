// The turn layer's face: the eight orientations of raw rows of any pixel
// size, out of place and inside the image's own rows, and the working memory
// each needs. The entries and the benchmark see this header only; the rest
// of this folder (the tile and reversal drivers, the in-place permutations,
// the kernel sets and their choice) is its inside.
#ifndef QUADTURN_ORIENT_H
#define QUADTURN_ORIENT_H

#include <cstddef>
#include <cstdint>

namespace quadturn {

// What is done to the picture, numbered as RotateFlip's types: quarter turns
// clockwise (1-3), and the same followed by a left-right mirror (4-7). Over
// rows stored from the top, pixel (x', y') of the result is pixel (x, y) of
// the image W wide and H high:
//   kNone (x', y')            kMirror     (W-1-x', y')
//   kRight (y', H-1-x')       kTranspose  (y', x')
//   kHalf (W-1-x', H-1-y')    kFlip       (x', H-1-y')
//   kLeft (W-1-y', x')        kTransverse (W-1-y', H-1-x')
enum class Orientation : int {
  kNone, kRight, kHalf, kLeft, kMirror, kTranspose, kFlip, kTransverse
};

// Whether the result's width is the image's height: 1, 3, 5 and 7.
inline bool SwapsAxes(Orientation o) { return (static_cast<int>(o) & 1) != 0; }

// The same change of the picture over rows stored from the bottom, as a
// bottom-up DIB's are: the turns and the transposes trade places with their
// opposites, the mirror, the flip and the half turn stay.
inline Orientation OnRowsFromTheBottom(Orientation o) {
  switch (o) {
    case Orientation::kRight: return Orientation::kLeft;
    case Orientation::kLeft: return Orientation::kRight;
    case Orientation::kTranspose: return Orientation::kTransverse;
    case Orientation::kTransverse: return Orientation::kTranspose;
    default: return o;
  }
}

// Whether the turns take pixels of `bits` each: 1, 2 or 4 bits (most
// significant first within a byte), or 1 to 32 whole bytes.
bool IsPixelSize(int bits);

// Bytes of a row of `pixels` pixels of `bits` each, a partial last byte
// included.
int64_t PixelRowBytes(int bits, int64_t pixels);

// Where the result goes: to rows of their own, or into the image's own rows.
enum class Place { kApart, kInPlace };

// The working memory to hand a turn of `height` rows of `width` pixels of
// `bits` each into orientation `o` (0 for none); it may lie at any address.
std::size_t OrientWorkBytes(int bits, int32_t width, int32_t height, Orientation o, Place place);

// Orientation `o` of `height` stored rows of `width` pixels into rows at
// dst (the two must not overlap). Only the result's pixels are written: the
// bits and bytes behind each row's pixels stay as they were; the source's
// are never read. Strides may be negative. `work` holds OrientWorkBytes.
void OrientRows(int bits, const uint8_t* src, std::ptrdiff_t src_stride, uint8_t* dst,
                std::ptrdiff_t dst_stride, int32_t width, int32_t height, Orientation o,
                uint8_t* work);

// The same inside the image's own rows: the rows at `rows`, src_stride bytes
// apart, become the result's, dst_stride apart (equal for the orientations
// that keep the shape); their memory holds the larger of the two images.
// Every row's padding is written: a last byte's unused bits 0, whole bytes
// behind the pixels `pad`. Nothing can fail once it starts.
void OrientInPlace(int bits, uint8_t* rows, std::ptrdiff_t src_stride, std::ptrdiff_t dst_stride,
                   int32_t width, int32_t height, Orientation o, uint8_t pad, uint8_t* work);

// The kernel sets this processor runs, best first, then the portable one:
// the name of set `index`, null past the last; and forcing one of them by
// name (null or empty goes back to the best), for the benchmark to compare
// them. False for a name not in the list. (Plain C strings: the library
// carries no C++ runtime.)
const char* KernelSetName(int index);
bool UseKernelSet(const char* name);

}  // namespace quadturn

#endif  // QUADTURN_ORIENT_H
