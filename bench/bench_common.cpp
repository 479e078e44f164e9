// Images, blocks, timing and the table shared by the benchmarks.
#include "bench_common.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

namespace quadturn::bench {

const std::vector<Case>& Cases() {
  static const std::vector<Case> kCases = {
      {"8-bit page, power-of-two stride", 8, 4096, 4096, 15},
      {"8-bit photo, odd size", 8, 4093, 3001, 15},
      {"16-bit grey scan", 16, 4000, 3000, 11},
      {"24-bit photo", 24, 4000, 3000, 11},
      {"32-bit screen capture", 32, 2560, 1440, 15},
      {"48-bit photo", 48, 4000, 3000, 11},
      {"64-bit screen capture", 64, 2560, 1440, 11},
      {"4-bit A4 at 300 dpi", 4, 2480, 3508, 21},
      {"1-bit A4 at 600 dpi", 1, 4960, 7016, 15},
      {"1-bit A3 at 600 dpi", 1, 7016, 9921, 15},
      {"1-bit A4 at 300 dpi", 1, 2480, 3508, 21},
  };
  return kCases;
}

namespace {

// Fills rows as MakeImage describes.
void FillRows(int bits, int height, std::ptrdiff_t stride, uint8_t* rows) {
  uint32_t x = 2463534242u;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  };
  for (int r = 0; r < height; ++r) {
    uint8_t* row = rows + r * stride;
    for (std::ptrdiff_t k = 0; k < stride; ++k) {
      const uint32_t v = next();
      row[k] = bits != 1 ? static_cast<uint8_t>(v)
                         : (r % 48 < 30 && (v >> 24) < 80 ? static_cast<uint8_t>(v) : 0);
    }
  }
}

std::ptrdiff_t StrideOf(int bits, int width) {
  return (static_cast<std::ptrdiff_t>(width) * bits + 31) / 32 * 4;
}

// A zeroed block with the header and table for the image; *rows receives
// where its rows go, the block locked.
HGLOBAL NewBlock(int bits, int width, int height, uint8_t** rows) {
  const size_t table = bits <= 8 ? size_t{4} << bits : 0;
  const size_t size = 40 + table + static_cast<size_t>(StrideOf(bits, width)) * height;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  const int32_t header[] = {40, width, height};
  std::memcpy(p, header, sizeof header);
  p[12] = 1;
  p[14] = static_cast<uint8_t>(bits);
  *rows = p + 40 + table;
  return h;
}

}  // namespace

Image MakeImage(int bits, int width, int height) {
  Image image{bits, width, height, StrideOf(bits, width), {}};
  image.rows.resize(static_cast<size_t>(image.stride) * height);
  FillRows(bits, height, image.stride, image.rows.data());
  return image;
}

HGLOBAL MakeBlock(const Image& image) {
  uint8_t* rows;
  HGLOBAL h = NewBlock(image.bits, image.width, image.height, &rows);
  std::memcpy(rows, image.rows.data(), image.rows.size());
  GlobalUnlock(h);
  return h;
}

HGLOBAL MakeBlockAlone(int bits, int width, int height) {
  uint8_t* rows;
  HGLOBAL h = NewBlock(bits, width, height, &rows);
  FillRows(bits, height, StrideOf(bits, width), rows);
  GlobalUnlock(h);
  return h;
}

double MedianMs(const std::function<void()>& f, int reps) {
  using Clock = std::chrono::steady_clock;
  f();
  std::vector<double> ms;
  for (int i = 0; i < reps; ++i) {
    const auto t0 = Clock::now();
    f();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

bool InDib(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

namespace {

// Pixels in a buffer as large as either shape, turned in place by
// RotateFlipPixels again and again as the blocks are.
struct TurningBuffer {
  const Image& image;
  std::ptrdiff_t turned;
  std::vector<uint8_t> rows;
  bool across = false;

  explicit TurningBuffer(const Image& im)
      : image(im), turned(StrideOf(im.bits, im.height)),
        rows(std::max(im.rows.size(), static_cast<size_t>(turned) * im.width)) {
    std::memcpy(rows.data(), image.rows.data(), image.rows.size());
  }
  void Turn(int type) {
    const bool swap = type % 2 != 0;
    const int w = across ? image.height : image.width, h = across ? image.width : image.height;
    const std::ptrdiff_t from = across ? turned : image.stride;
    const std::ptrdiff_t to = !swap ? from : across ? image.stride : turned;
    RotateFlipPixels(rows.data(), from, rows.data(), to, w, h, image.bits, type);
    across = swap != across;
  }
};

double BufferCallMs(const Image& image, int reps, int type) {
  TurningBuffer buffer(image);
  return MedianMs([&] { buffer.Turn(type); }, reps);
}

}  // namespace

double WholeCallMs(const Image& image, int reps, int turns) {
  if (!InDib(image.bits)) return BufferCallMs(image, reps, turns);
  HGLOBAL h = MakeBlock(image);
  // RotateRight90 where it turns the image, RotateQuarterTurns
  // elsewhere.
  const bool original = turns == 1 && (image.bits == 1 || image.bits == 8 || image.bits == 24);
  const double ms = MedianMs([h, original, turns] {
    if (original) {
      RotateRight90(h);
    } else {
      RotateQuarterTurns(h, turns);
    }
  }, reps);
  GlobalFree(h);
  return ms;
}

double WholeFlipMs(const Image& image, int reps, int type) {
  if (!InDib(image.bits)) return BufferCallMs(image, reps, type);
  HGLOBAL h = MakeBlock(image);
  const double ms = MedianMs([h, type] { RotateFlip(h, type); }, reps);
  GlobalFree(h);
  return ms;
}

std::vector<double> SideBySideFlipMs(const Image& image, int reps, const std::vector<int>& types) {
  using Clock = std::chrono::steady_clock;
  // One block (or buffer) for all, so that each call finds the image where
  // the one before left it, in the cache as much as the others do.
  HGLOBAL h = InDib(image.bits) ? MakeBlock(image) : nullptr;
  std::optional<TurningBuffer> buffer;
  if (h == nullptr) buffer.emplace(image);
  auto call = [&](int type) {
    if (h != nullptr) {
      RotateFlip(h, type);
    } else {
      buffer->Turn(type);
    }
  };
  for (int type : types) call(type);
  std::vector<std::vector<double>> ms(types.size());
  for (int i = 0; i < reps; ++i) {
    for (std::size_t k = 0; k < types.size(); ++k) {
      const auto t0 = Clock::now();
      call(types[k]);
      ms[k].push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
  }
  if (h != nullptr) GlobalFree(h);
  std::vector<double> medians;
  for (auto& m : ms) {
    std::sort(m.begin(), m.end());
    medians.push_back(m[m.size() / 2]);
  }
  return medians;
}

double MemcpyMs(const Image& image, int reps) {
  std::vector<uint8_t> copy(image.rows.size());
  return MedianMs([&] { std::memcpy(copy.data(), image.rows.data(), copy.size()); }, reps);
}

void PrintTable(const Case& c, const std::vector<Row>& rows, double ours_ms,
                const char* build, std::FILE* csv) {
  std::printf("\n%s (%d-bit %d x %d)\n", c.label, c.bits, c.width, c.height);
  std::printf("  %-36s %9s %9s %11s\n", "", "ms", "x memcpy", "x quadturn");
  const double memcpy_ms = rows.front().ms;
  const double megapixels = static_cast<double>(c.width) * c.height / 1e6;
  for (const Row& r : rows) {
    std::printf("  %-36s %9.2f %9.1f %11.2f  %s\n", r.name.c_str(), r.ms, r.ms / memcpy_ms,
                r.ms / (r.ours > 0 ? r.ours : ours_ms), r.note.c_str());
    if (csv != nullptr) {
      std::fprintf(csv, "\"%s\",\"%s\",%d,%d,%d,\"%s\",%.4f,%.4f,%d\n", build, c.label, c.bits,
                   c.width, c.height, r.name.c_str(), r.ms, megapixels, r.type);
    }
  }
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick") {
      o.quick = true;
    } else if (a == "--csv" && i + 1 < argc) {
      o.csv = argv[++i];
    } else if (a == "--build" && i + 1 < argc) {
      o.build = argv[++i];
    }
  }
  return o;
}

}  // namespace quadturn::bench
