// The DLL timed in one Windows process (under Wine here): a whole
// RotateRight90 through the import library, on blocks of the real KERNEL32
// service, against memcpy of the same pixel bytes; one table per image, with
// the memory a quarter turn adds at its peak, measured in a process of its
// own per image.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_common.h"

namespace {

using quadturn::bench::Case;

PROCESS_MEMORY_COUNTERS Counters() {
  PROCESS_MEMORY_COUNTERS c{};
  GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
  return c;
}

// In a fresh process: how far one quarter turn of case `index` raises the
// peak working set above what the process holds before it (the image's block
// only, made in place). Printed in bytes.
int PrintPeakOfOneTurn(int index) {
  const Case& c = quadturn::bench::Cases()[index];
  if (!quadturn::bench::InDib(c.bits)) {
    // Pixels no DIB holds: the buffer entry in place, on rows made once.
    const quadturn::bench::Image image = quadturn::bench::MakeImage(c.bits, c.width, c.height);
    const std::ptrdiff_t turned = (static_cast<std::ptrdiff_t>(c.height) * c.bits + 31) / 32 * 4;
    std::vector<uint8_t> rows(std::max(image.rows.size(), static_cast<size_t>(turned) * c.width));
    std::memcpy(rows.data(), image.rows.data(), image.rows.size());
    const SIZE_T before = Counters().WorkingSetSize;
    RotateFlipPixels(rows.data(), image.stride, rows.data(), turned, c.width, c.height, c.bits,
                     QUADTURN_RIGHT);
    const SIZE_T peak = Counters().PeakWorkingSetSize;
    std::printf("%llu\n", static_cast<unsigned long long>(peak > before ? peak - before : 0));
    return 0;
  }
  HGLOBAL h = quadturn::bench::MakeBlockAlone(c.bits, c.width, c.height);
  const SIZE_T before = Counters().WorkingSetSize;
  RotateQuarterTurns(h, 1);
  const SIZE_T peak = Counters().PeakWorkingSetSize;
  std::printf("%llu\n", static_cast<unsigned long long>(peak > before ? peak - before : 0));
  GlobalFree(h);
  return 0;
}

// Runs this program again to measure case `index` in a process of its own;
// the extra peak in MiB, or a negative number if it could not be had.
double PeakMiB(int index) {
  char self[MAX_PATH];
  if (GetModuleFileNameA(nullptr, self, MAX_PATH) == 0) return -1;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return -1;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  std::string command = std::string("\"") + self + "\" --peak-of " + std::to_string(index);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &si, &pi);
  CloseHandle(write);
  std::string out;
  char buffer[64];
  DWORD got = 0;
  while (started && ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    out.append(buffer, got);
  }
  CloseHandle(read);
  if (!started) return -1;
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return out.empty() ? -1 : std::strtod(out.c_str(), nullptr) / 1048576.0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quadturn::bench;
  if (argc == 3 && std::strcmp(argv[1], "--peak-of") == 0) {
    return PrintPeakOfOneTurn(std::atoi(argv[2]));
  }
  const Options o = ParseOptions(argc, argv);
  std::FILE* csv = o.csv.empty() ? nullptr : std::fopen(o.csv.c_str(), "w");
  std::printf("quadturn.dll benchmark (%s): median of repeated calls, one thread\n",
              o.build.c_str());
  for (size_t index = 0; index < Cases().size(); ++index) {
    Case c = Cases()[index];
    if (o.quick) c.reps = 3;
    char working[64];
    std::snprintf(working, sizeof working, "%.2f MiB working", PeakMiB(static_cast<int>(index)));
    const Image image = MakeImage(c.bits, c.width, c.height);
    std::vector<Row> rows = {{"memcpy of the pixel bytes", MemcpyMs(image, c.reps), ""},
                             {"quadturn.dll, a quarter turn", WholeCallMs(image, c.reps), working}};
    // What a second image would cost here: a block the size of the turned
    // rows, allocated, touched once and freed.
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
