// BMP run-length encoding: runs of one pixel (at 4 bits, of two pixels in
// turn), literal runs of at least three pixels padded to a whole word, and
// the escapes for the end of a line, the end of the image and a jump.
#include "bmp_rle.h"

#include <algorithm>
#include <cstring>

namespace quadturn::tool {
namespace {

uint8_t PixelAt(const uint8_t* row, int bits, uint32_t x) {
  return bits == 8 ? row[x] : static_cast<uint8_t>((row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F);
}

void SetPixel(uint8_t* row, int bits, uint32_t x, uint8_t v) {
  if (bits == 8) {
    row[x] = v;
  } else {
    const int shift = x % 2 == 0 ? 4 : 0;
    row[x / 2] = static_cast<uint8_t>((row[x / 2] & ~(0x0F << shift)) | (v & 0x0F) << shift);
  }
}

// Escapes after a zero count.
constexpr uint8_t kEndOfLine = 0, kEndOfImage = 1, kJump = 2;

// Writes one image's encoding: the given pixels of each row as runs and
// literals, the skipped ones as jumps and ends.
class RleWriter {
 public:
  RleWriter(int bits, uint32_t width, uint32_t height, const SkippedPixels& skipped)
      : bits_(bits), width_(width), skipped_(skipped) {
    // The last pixel given, for RestSkipped.
    any_given_ = !skipped.any;
    for (uint64_t k = uint64_t{width} * height; skipped.any && k-- > 0 && !any_given_;) {
      if (!skipped.At(static_cast<uint32_t>(k % width), static_cast<uint32_t>(k / width))) {
        last_given_ = k;
        any_given_ = true;
      }
    }
  }

  bool Skipped(uint32_t x, uint32_t y) const { return skipped_.any && skipped_.At(x, y); }
  // Whether every pixel from (x, y) on is skipped: whether it lies past the
  // last pixel given.
  bool RestSkipped(uint32_t x, uint32_t y) const {
    return skipped_.any && (!any_given_ || uint64_t{y} * width_ + x > last_given_);
  }

  void Escape(uint8_t what) { Emit(0, what); }
  void Jump(uint32_t pixels) {
    for (uint32_t left = pixels; left > 0;) {
      const uint32_t step = std::min<uint32_t>(left, 255);
      Emit(0, kJump);
      Emit(static_cast<uint8_t>(step), 0);
      left -= step;
    }
  }

  // Pixels x to end of a row, all given.
  void Pixels(const uint8_t* row, uint32_t x, uint32_t end) {
    while (x < end) {
      const uint32_t n = Run(row, x, end);
      if (n >= 3 || end - x < 3) {
        EmitRun(row, x, n);
        x += n;
        continue;
      }
      // Literal pixels up to the next run worth a count of its own.
      uint32_t stop = x;
      while (stop < end && stop - x < 255 && Run(row, stop, end) < 3) ++stop;
      // At 4 bits an even count: Pillow (Debian 12's 9.4, and releases up
      // to mid-2026) drops an odd one's last pixel and loses its place.
      const uint32_t count = bits_ == 4 ? (stop - x) & ~1u : stop - x;
      if (count < 3) {
        for (const uint32_t last = x + std::max<uint32_t>(count, 1); x < last; ++x) {
          EmitRun(row, x, 1);
        }
        continue;
      }
      EmitLiteral(row, x, count);
      x += count;
    }
  }

  std::string out;

 private:
  void Emit(uint8_t a, uint8_t b) {
    out.push_back(static_cast<char>(a));
    out.push_back(static_cast<char>(b));
  }
  // The length of the run at x that one count can give: one pixel
  // repeated, at 4 bits two pixels in turn.
  uint32_t Run(const uint8_t* row, uint32_t x, uint32_t end) const {
    uint32_t n = 1;
    while (x + n < end && n < 255 &&
           PixelAt(row, bits_, x + n) == PixelAt(row, bits_, bits_ == 8 ? x : x + n % 2)) {
      ++n;
    }
    return n;
  }
  void EmitRun(const uint8_t* row, uint32_t x, uint32_t n) {
    const uint8_t a = PixelAt(row, bits_, x);
    const uint8_t b = n > 1 ? PixelAt(row, bits_, x + 1) : a;
    Emit(static_cast<uint8_t>(n), bits_ == 8 ? a : static_cast<uint8_t>(a << 4 | b));
  }
  // `count` pixels (3 to 255) as they are, padded to a whole word.
  void EmitLiteral(const uint8_t* row, uint32_t x, uint32_t count) {
    Emit(0, static_cast<uint8_t>(count));
    std::string literal;
    for (uint32_t k = 0; k < count; ++k) {
      const uint8_t v = PixelAt(row, bits_, x + k);
      if (bits_ == 8) {
        literal.push_back(static_cast<char>(v));
      } else if (k % 2 == 0) {
        literal.push_back(static_cast<char>(v << 4));
      } else {
        literal.back() = static_cast<char>(literal.back() | v);
      }
    }
    if (literal.size() % 2 != 0) literal.push_back('\0');
    out += literal;
  }

  int bits_;
  uint32_t width_;
  const SkippedPixels& skipped_;
  uint64_t last_given_ = 0;
  bool any_given_ = false;
};

}  // namespace

void DecodeRle(const uint8_t* data, std::size_t n, int bits, uint32_t width, uint32_t height,
               uint8_t* rows, std::size_t stride, SkippedPixels* skipped) {
  skipped->width = width;
  skipped->height = height;
  skipped->bits.assign(skipped->RowBytes() * height, 0xFF);
  skipped->dropped = 0;
  std::memset(rows, 0, stride * height);
  uint64_t x = 0, y = 0;
  auto put = [&](uint8_t v) {
    if (x < width && y < height) {
      SetPixel(rows + y * stride, bits, static_cast<uint32_t>(x), v);
      skipped->bits[y * skipped->RowBytes() + x / 8] &= static_cast<uint8_t>(~(0x80 >> x % 8));
    } else {
      ++skipped->dropped;
    }
    ++x;
  };
  std::size_t at = 0;
  while (at + 2 <= n && y < height) {
    const uint8_t count = data[at], value = data[at + 1];
    at += 2;
    if (count > 0) {
      // At 4 bits a run gives the two pixels of its byte in turn.
      for (int k = 0; k < count; ++k) {
        put(bits == 8 ? value : static_cast<uint8_t>(k % 2 == 0 ? value >> 4 : value & 0x0F));
      }
    } else if (value == kEndOfLine) {
      x = 0;
      ++y;
    } else if (value == kEndOfImage) {
      break;
    } else if (value == kJump) {
      if (at + 2 > n) break;
      x += data[at];
      y += data[at + 1];
      at += 2;
    } else {
      // A literal run of `value` pixels, its bytes padded to a whole word.
      const std::size_t bytes = bits == 8 ? value : (value + 1u) / 2;
      if (at + bytes > n) break;
      for (int k = 0; k < value; ++k) {
        put(bits == 8 ? data[at + k]
                      : static_cast<uint8_t>(k % 2 == 0 ? data[at + k / 2] >> 4
                                                        : data[at + k / 2] & 0x0F));
      }
      at += bytes + bytes % 2;
    }
  }
  // A row's unused mask bits are not pixels.
  const int used = static_cast<int>(width % 8);
  for (uint32_t r = 0; r < height && used != 0; ++r) {
    skipped->bits[(r + 1) * skipped->RowBytes() - 1] &= static_cast<uint8_t>(0xFF00 >> used);
  }
  skipped->any = false;
  for (uint8_t b : skipped->bits) skipped->any = skipped->any || b != 0;
}

std::string EncodeRle(const uint8_t* rows, std::size_t stride, int bits, uint32_t width,
                      uint32_t height, const SkippedPixels& skipped) {
  RleWriter w(bits, width, height, skipped);
  // No pixels, however many rows of none: the image ends at once.
  if (width == 0 || height == 0) {
    w.Escape(kEndOfImage);
    return std::move(w.out);
  }
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = rows + y * stride;
    uint32_t x = 0;
    while (x < width) {
      uint32_t end = x;
      if (!w.Skipped(x, y)) {
        while (end < width && !w.Skipped(end, y)) ++end;
        w.Pixels(row, x, end);
        x = end;
        continue;
      }
      if (w.RestSkipped(x, y)) {
        w.Escape(kEndOfImage);
        return std::move(w.out);
      }
      while (end < width && skipped.At(end, y)) ++end;
      if (end == width) break;
      w.Jump(end - x);
      x = end;
    }
    w.Escape(y + 1 == height ? kEndOfImage : kEndOfLine);
  }
  return std::move(w.out);
}

}  // namespace quadturn::tool
