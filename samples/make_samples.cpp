// Writes the bundled sample charts: the same 96 x 64 picture at 1, 8 and 24
// bits, with a frame, an "F" and an arrow pointing up, so that a person can
// see at a glance which way an image was turned.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "chart.h"

namespace {

using namespace quadturn::samples;

void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, static_cast<uint16_t>(v));
  Put16(b, static_cast<uint16_t>(v >> 16));
}

std::vector<uint8_t> Chart(int bits) {
  const int stride = (kWidth * bits + 31) / 32 * 4;
  const int table = bits == 24 ? 0 : (1 << bits) * 4;
  const uint32_t offset = 14 + 40 + table;
  std::vector<uint8_t> b;
  b.push_back('B');
  b.push_back('M');
  Put32(b, offset + stride * kHeight);
  Put32(b, 0);
  Put32(b, offset);
  Put32(b, 40);
  Put32(b, kWidth);
  Put32(b, kHeight);
  Put16(b, 1);
  Put16(b, static_cast<uint16_t>(bits));
  Put32(b, 0);
  Put32(b, stride * kHeight);
  Put32(b, 3780);  // 96 dpi
  Put32(b, 3780);
  Put32(b, 0);
  Put32(b, 0);
  if (bits == 1) {
    Put32(b, 0x00FFFFFF);  // entry 0 white paper, entry 1 black ink
    Put32(b, 0x00000000);
  } else if (bits == 8) {
    // 0: black ink, 1: red mark, 2..255: a blue-to-yellow ramp for the paper.
    Put32(b, 0x00000000);
    Put32(b, 0x00FF0000);
    for (int i = 2; i < 256; ++i) {
      Put32(b, static_cast<uint32_t>((i << 16) | (i << 8) | (255 - i)));
    }
  }
  for (int row = 0; row < kHeight; ++row) {
    const int y = kHeight - 1 - row;  // rows are stored bottom first
    std::vector<uint8_t> r(stride, 0);
    for (int x = 0; x < kWidth; ++x) {
      const Ink ink = InkAt(x, y);
      if (bits == 1) {
        if (ink != kPaper) r[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      } else if (bits == 8) {
        r[x] = static_cast<uint8_t>(ink == kInk ? 0 : ink == kMark ? 1 : 2 + (x + y) * 253 / 158);
      } else {
        uint8_t* p = &r[3 * x];
        if (ink == kInk) {
          p[0] = p[1] = p[2] = 0;
        } else if (ink == kMark) {
          p[0] = 0, p[1] = 0, p[2] = 255;
        } else {
          p[0] = static_cast<uint8_t>(255 - x * 2), p[1] = static_cast<uint8_t>(y * 3),
          p[2] = static_cast<uint8_t>(128 + x);
        }
      }
    }
    b.insert(b.end(), r.begin(), r.end());
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  for (int bits : {1, 8, 24}) {
    const std::string path = folder + "/chart-" + std::to_string(bits) + ".bmp";
    const std::vector<uint8_t> bytes = Chart(bits);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0) {
      std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  return 0;
}
