// What the native and the Windows benchmark share: the images, packed DIBs in
// blocks of the memory service, median timing, and one table (and CSV) of
// times and ratios per image. Uses only the public API.
#ifndef QUADTURN_BENCH_BENCH_COMMON_H
#define QUADTURN_BENCH_BENCH_COMMON_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "quadturn.h"

namespace quadturn::bench {

// An image's pixel rows, bottom-up, 4-byte padded.
struct Image {
  int bits;
  int width, height;
  std::ptrdiff_t stride;
  std::vector<uint8_t> rows;
};

struct Case {
  const char* label;
  int bits, width, height;
  int reps;
};

// The images every benchmark times: pages and photos as hosts hold them.
const std::vector<Case>& Cases();

// Photos are noise that does not repeat; 1-bit pages are white with lines of
// "text" (black runs on 30 of every 48 rows), since some peers skip white
// words.
Image MakeImage(int bits, int width, int height);

// A packed DIB in a movable block: 40-byte header, the colour table its
// depth needs, the rows.
HGLOBAL MakeBlock(const Image& image);
// The same image made straight in its block, with no other copy of it in
// the process (for measuring what a call adds to the memory it takes).
HGLOBAL MakeBlockAlone(int bits, int width, int height);

// Median milliseconds over `reps` calls of `f`, after one warm-up call.
double MedianMs(const std::function<void()>& f, int reps);

// Whether a packed DIB holds pixels of `bits` each (1, 4, 8, 16, 24, 32).
bool InDib(int bits);

// A whole call turning the image `turns` quarter turns on a block made once
// (RotateRight90 for one turn at 1, 8 and 24 bits, RotateQuarterTurns
// otherwise; for pixels a DIB does not hold, RotateFlipPixels in place on a
// buffer made once): the same block turns again and again, so each call
// sees the image in one of its two shapes.
double WholeCallMs(const Image& image, int reps, int turns = 1);

// The same with RotateFlip(type) (0-7), the block made once.
double WholeFlipMs(const Image& image, int reps, int type);

// Whole calls of RotateFlip for each of `types`, each on a block of its own
// (RotateFlipPixels on a buffer of its own for pixels a DIB does not hold),
// one call of each in turn every repetition: their medians compare without
// the drift of this machine's speed between one part of a run and the next.
std::vector<double> SideBySideFlipMs(const Image& image, int reps, const std::vector<int>& types);

// memcpy of the image's pixel bytes into a buffer made once.
double MemcpyMs(const Image& image, int reps);

struct Row {
  std::string name;
  double ms;
  std::string note;  // printed after the ratios
  int type = 1;       // the orientation timed (RotateFlip's types)
  double ours = 0;    // quadturn's time for it, where not `ours_ms`
};

// Prints one image's table: times, ratio to memcpy (the first row) and to
// quadturn (`ours_ms` for the quarter turn, the row's own `ours` for the
// others). With a CSV file, also one line per row:
// build,label,bits,width,height,name,ms,megapixels,type.
void PrintTable(const Case& c, const std::vector<Row>& rows, double ours_ms,
                const char* build, std::FILE* csv);

// --quick (3 repetitions), --csv FILE, --build NAME from the command line.
struct Options {
  bool quick = false;
  std::string csv;
  std::string build = "native";
};
Options ParseOptions(int argc, char** argv);

}  // namespace quadturn::bench

#endif  // QUADTURN_BENCH_BENCH_COMMON_H
