// Planes of pixels turned through the library's buffer entry, in place.
#include "plane.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "quadturn.h"

namespace quadturn::tool {
namespace {

// The largest pixel RotateFlipPixels moves: wider ones are turned in slices.
constexpr int kWidestPixelBytes = 32;

// n bits (at most 32) from bit `at` of a row, the first bit the most
// significant.
uint32_t GetBits(const uint8_t* row, uint64_t at, int n) {
  const uint8_t* p = row + at / 8;
  const int skip = static_cast<int>(at % 8);
  const int bytes = (skip + n + 7) / 8;
  uint64_t v = 0;
  for (int k = 0; k < bytes; ++k) v = v << 8 | p[k];
  return static_cast<uint32_t>(v >> (bytes * 8 - skip - n)) &
         static_cast<uint32_t>((uint64_t{1} << n) - 1);
}

// Writes n bits (at most 32) at bit `at` of a row, leaving the others.
void PutBits(uint8_t* row, uint64_t at, int n, uint32_t value) {
  uint8_t* p = row + at / 8;
  const int skip = static_cast<int>(at % 8);
  const int bytes = (skip + n + 7) / 8;
  const int shift = bytes * 8 - skip - n;
  const uint64_t mask = ((uint64_t{1} << n) - 1) << shift;
  const uint64_t bits = uint64_t{value} << shift;
  for (int k = 0; k < bytes; ++k) {
    const int s = (bytes - 1 - k) * 8;
    const uint8_t m = static_cast<uint8_t>(mask >> s);
    p[k] = static_cast<uint8_t>((p[k] & ~m) | (static_cast<uint8_t>(bits >> s) & m));
  }
}

// Copies a pixel of `bits` bits between bit strings.
void CopyPixel(const uint8_t* from, uint64_t from_at, uint8_t* to, uint64_t to_at, int bits) {
  for (int done = 0; done < bits; done += 32) {
    const int n = std::min(32, bits - done);
    PutBits(to, to_at + done, n, GetBits(from, from_at + done, n));
  }
}

std::unique_ptr<uint8_t[]> Allocate(uint64_t bytes) {
  if (bytes > SIZE_MAX) return nullptr;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[static_cast<std::size_t>(bytes)]);
}

std::string LibraryReason(DWORD error) {
  return error == ERROR_NOT_ENOUGH_MEMORY ? "out of memory"
                                          : "not turned (error " + std::to_string(error) + ")";
}

// Pixels wider than the library takes, `wide` bytes each: each slice of
// kWidestPixelBytes gathered into a plane of its own, turned there and put
// in its place in the turned pixels.
bool TurnSlices(const uint8_t* bytes, uint8_t* turned, uint32_t width, uint32_t height, int wide,
                int type, std::string* error) {
  const uint64_t pixels = uint64_t{width} * height;
  const uint32_t w = (type & 1) != 0 ? height : width;
  std::unique_ptr<uint8_t[]> slice = Allocate(pixels * kWidestPixelBytes);
  if (slice == nullptr) {
    *error = "out of memory";
    return false;
  }
  for (int at = 0; at < wide; at += kWidestPixelBytes) {
    const int n = std::min(kWidestPixelBytes, wide - at);
    for (uint64_t k = 0; k < pixels; ++k) std::memcpy(&slice[k * n], bytes + k * wide + at, n);
    const DWORD e = RotateFlipPixels(slice.get(), static_cast<LONG_PTR>(width) * n, slice.get(),
                                     static_cast<LONG_PTR>(w) * n, static_cast<LONG>(width),
                                     static_cast<LONG>(height), n * 8, type);
    if (e != 0) {
      *error = LibraryReason(e);
      return false;
    }
    for (uint64_t k = 0; k < pixels; ++k) std::memcpy(&turned[k * wide + at], &slice[k * n], n);
  }
  return true;
}

}  // namespace

bool Plane::Make(uint32_t width, uint32_t height, int bits, std::string* error) {
  // RotateFlipPixels takes 32-bit sizes; a row's bits must fit 64 bits.
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF || bits < 1 || bits > 0xFFFF) {
    *error = "too large: a page of " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels";
    return false;
  }
  width_ = width;
  height_ = height;
  bits_ = bits;
  // Room for the plane either way round: a turn happens in place.
  const uint64_t room = std::max<uint64_t>(bytes(), uint64_t{BytesOf(height)} * width);
  rows_ = Allocate(std::max<uint64_t>(room, 1));
  if (rows_ == nullptr) {
    *error = "out of memory";
    return false;
  }
  return true;
}

bool Plane::Turn(int type, std::string* error) {
  if (type == QUADTURN_NONE || width_ == 0 || height_ == 0) {
    if ((type & 1) != 0) std::swap(width_, height_);
    return true;
  }
  if (!LibraryPixelSize(bits_)) return TurnThroughBytes(type, error);
  const bool swaps = (type & 1) != 0;
  const uint32_t w = swaps ? height_ : width_;
  const DWORD e = RotateFlipPixels(rows_.get(), static_cast<LONG_PTR>(row_bytes()), rows_.get(),
                                   static_cast<LONG_PTR>(BytesOf(w)), static_cast<LONG>(width_),
                                   static_cast<LONG>(height_), bits_, type);
  if (e != 0) {
    *error = LibraryReason(e);
    return false;
  }
  if (swaps) std::swap(width_, height_);
  ClearRowEnds();
  return true;
}

// Each pixel is given whole bytes of its own (its bits first, then zeros),
// turned as such, and packed again; pixels wider than the library takes are
// turned a slice of bytes at a time.
bool Plane::TurnThroughBytes(int type, std::string* error) {
  const int wide = std::max(1, (bits_ + 7) / 8);
  const uint64_t pixels = uint64_t{width_} * height_;
  const bool packed = bits_ % 8 != 0;
  std::unique_ptr<uint8_t[]> spread;
  uint8_t* bytes = rows_.get();
  if (packed) {
    spread = Allocate(pixels * wide);
    if (spread == nullptr) {
      *error = "out of memory";
      return false;
    }
    std::memset(spread.get(), 0, static_cast<std::size_t>(pixels * wide));
    for (uint32_t y = 0; y < height_; ++y) {
      uint8_t* to = spread.get() + uint64_t{y} * width_ * wide;
      for (uint32_t x = 0; x < width_; ++x) {
        CopyPixel(Row(y), uint64_t{x} * bits_, to + uint64_t{x} * wide, 0, bits_);
      }
    }
    bytes = spread.get();
  }
  const bool swaps = (type & 1) != 0;
  const uint32_t w = swaps ? height_ : width_, h = swaps ? width_ : height_;
  if (wide <= kWidestPixelBytes) {
    const DWORD e = RotateFlipPixels(bytes, static_cast<LONG_PTR>(width_) * wide, bytes,
                                     static_cast<LONG_PTR>(w) * wide,
                                     static_cast<LONG>(width_), static_cast<LONG>(height_),
                                     wide * 8, type);
    if (e != 0) {
      *error = LibraryReason(e);
      return false;
    }
  } else {
    std::unique_ptr<uint8_t[]> turned = Allocate(pixels * wide);
    if (turned == nullptr) {
      *error = "out of memory";
      return false;
    }
    if (!TurnSlices(bytes, turned.get(), width_, height_, wide, type, error)) return false;
    if (!packed) {
      std::memcpy(rows_.get(), turned.get(), static_cast<std::size_t>(pixels * wide));
      bytes = nullptr;
    } else {
      spread = std::move(turned);
      bytes = spread.get();
    }
  }
  width_ = w;
  height_ = h;
  if (packed) {
    for (uint32_t y = 0; y < height_; ++y) {
      const uint8_t* from = bytes + uint64_t{y} * width_ * wide;
      std::memset(Row(y), 0, row_bytes());
      for (uint32_t x = 0; x < width_; ++x) {
        CopyPixel(from + uint64_t{x} * wide, 0, Row(y), uint64_t{x} * bits_, bits_);
      }
    }
  }
  return true;
}

// What the library leaves behind a turned row's pixels is its own: the
// unused bits of a last byte are made 0, as files want them.
void Plane::ClearRowEnds() {
  const int used = static_cast<int>(uint64_t{width_} * bits_ % 8);
  if (used == 0) return;
  const uint8_t keep = static_cast<uint8_t>(0xFF00 >> used);
  for (uint32_t y = 0; y < height_; ++y) Row(y)[row_bytes() - 1] &= keep;
}

}  // namespace quadturn::tool
