// The DLL timed in one Windows process (under Wine here): a whole
// RotateRight90 through the import library, on blocks of the real KERNEL32
// service, against memcpy of the same pixel bytes; one table per image.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_common.h"

int main(int argc, char** argv) {
  using namespace qt_bench;
  const Options o = ParseOptions(argc, argv);
  std::FILE* csv = o.csv.empty() ? nullptr : std::fopen(o.csv.c_str(), "w");
  std::printf("quadturn.dll benchmark (%s): median of repeated calls, one thread\n",
              o.build.c_str());
  for (Case c : Cases()) {
    if (o.quick) c.reps = 3;
    const Image image = MakeImage(c.bits, c.width, c.height);
    std::vector<Row> rows = {{"memcpy of the pixel bytes", MemcpyMs(image, c.reps), ""},
                             {"quadturn.dll, a quarter turn", WholeCallMs(image, c.reps), ""}};
    // What fresh memory costs here: a block the size of the turned rows,
    // allocated, touched once and freed, as a call's scratch block is.
    const size_t turned = (static_cast<size_t>(c.height) * c.bits + 31) / 32 * 4 * c.width;
    rows.push_back({"  fresh block of that size, touched", MedianMs([turned] {
                      HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, turned);
                      std::memset(GlobalLock(h), 0x5A, turned);
                      GlobalUnlock(h);
                      GlobalFree(h);
                    }, c.reps), ""});
    rows.push_back({"quadturn.dll, a half turn in place", WholeCallMs(image, c.reps, 2), ""});
    PrintTable(c, rows, rows[1].ms, o.build.c_str(), csv);
  }
  if (csv != nullptr) std::fclose(csv);
  return 0;
}
