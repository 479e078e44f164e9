// quadturn: turns BMP files a quarter turn (or a half turn) with the library.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "atomic_write.h"
#include "bmp_file.h"
#include "turn_dib.h"

#ifndef QUADTURN_VERSION
#define QUADTURN_VERSION "unknown"
#endif

namespace qt_tool {
namespace {

enum ExitCode { kAllTurned = 0, kSomeFailed = 1, kUsage = 2 };

const char kUsageText[] =
    "Usage: quadturn right|left|half [options] FILE...\n"
    "\n"
    "Turns uncompressed bottom-up BMP images of 1, 8 or 24 bits a quarter turn\n"
    "clockwise (right), counter-clockwise (left), or a half turn (half).\n"
    "\n"
    "Where to write (exactly one):\n"
    "  -o, --output FILE   write the turned image to FILE (one input only)\n"
    "  -d, --dir DIR       write each turned image to DIR under its own name;\n"
    "                      DIR must exist\n"
    "  -i, --in-place      replace each input with its turned image\n"
    "\n"
    "  -q, --quiet         print errors only\n"
    "  -h, --help          print this help and exit\n"
    "  -V, --version       print the version and exit\n"
    "\n"
    "Each file is written whole or not at all: a temporary file beside the\n"
    "target is renamed over it once complete. A file that cannot be turned is\n"
    "reported on one line and nothing is written for it; the others proceed.\n"
    "\n"
    "Exit status: 0 every file turned; 1 at least one file not turned (bad\n"
    "input, an image the library leaves untouched, or a read or write error);\n"
    "2 usage error.\n";

struct Options {
  Turn turn = Turn::kRight;
  std::string output, dir;
  bool in_place = false;
  bool quiet = false;
  std::vector<std::string> inputs;
};

int UsageError(const std::string& why) {
  std::fprintf(stderr, "quadturn: %s\nTry 'quadturn --help'.\n", why.c_str());
  return kUsage;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadWholeFile(const std::string& path, Bytes* bytes, std::string* error) {
  if (IsDirectory(path)) {
    *error = "cannot read: is a folder";
    return false;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    *error = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  bytes->clear();
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    bytes->insert(bytes->end(), chunk, chunk + n);
  }
  const bool ok = !std::ferror(f);
  if (!ok) *error = std::string("cannot read: ") + std::strerror(errno);
  std::fclose(f);
  return ok;
}

// Turns one file; prints one line saying what happened.
bool TurnFile(const Options& o, const std::string& input) {
  std::string target = o.in_place ? input : o.output;
  if (!o.dir.empty()) target = o.dir + "/" + BaseName(input);

  Bytes file;
  Dib dib;
  std::string error;
  if (!ReadWholeFile(input, &file, &error) || !DibFromBmpFile(file, &dib, &error) ||
      !TurnDib(&dib, o.turn, &error)) {
    std::fprintf(stderr, "quadturn: %s: %s\n", input.c_str(), error.c_str());
    return false;
  }
  if (!WriteFileAtomically(target, BmpFileFromDib(dib), &error)) {
    std::fprintf(stderr, "quadturn: %s: cannot write %s: %s\n", input.c_str(),
                 target.c_str(), error.c_str());
    return false;
  }
  if (!o.quiet) std::printf("%s -> %s\n", input.c_str(), target.c_str());
  return true;
}

int Main(int argc, char** argv) {
  Options o;
  bool have_turn = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    if (a == "-h" || a == "--help") {
      std::fputs(kUsageText, stdout);
      return kAllTurned;
    } else if (a == "-V" || a == "--version") {
      std::printf("quadturn %s\n", QUADTURN_VERSION);
      return kAllTurned;
    } else if (a == "-o" || a == "--output") {
      if (!value(&o.output)) return UsageError(a + " needs a file name");
    } else if (a == "-d" || a == "--dir") {
      if (!value(&o.dir)) return UsageError(a + " needs a folder");
    } else if (a == "-i" || a == "--in-place") {
      o.in_place = true;
    } else if (a == "-q" || a == "--quiet") {
      o.quiet = true;
    } else if (a == "--") {
      for (++i; i < argc; ++i) o.inputs.push_back(argv[i]);
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError("unknown option " + a);
    } else if (!have_turn) {
      if (a == "right") {
        o.turn = Turn::kRight;
      } else if (a == "left") {
        o.turn = Turn::kLeft;
      } else if (a == "half") {
        o.turn = Turn::kHalf;
      } else {
        return UsageError("the first argument must be right, left or half, not '" + a + "'");
      }
      have_turn = true;
    } else {
      o.inputs.push_back(a);
    }
  }
  if (!have_turn) return UsageError("say which way to turn: right, left or half");
  if (o.inputs.empty()) return UsageError("no input files");
  const int destinations = !o.output.empty() + !o.dir.empty() + o.in_place;
  if (destinations != 1) {
    return UsageError("say where to write, once: -o FILE, -d DIR or --in-place");
  }
  if (!o.output.empty() && o.inputs.size() != 1) {
    return UsageError("-o takes one input file; use -d DIR for several");
  }
  if (!o.dir.empty() && !IsDirectory(o.dir)) {
    return UsageError("output folder '" + o.dir + "' does not exist");
  }

  RemoveTemporaryOnSignal();
  int failed = 0;
  std::set<std::string> written;
  for (const std::string& input : o.inputs) {
    // Two inputs of the same name must not land on one output file.
    if (!o.dir.empty() && !written.insert(BaseName(input)).second) {
      std::fprintf(stderr, "quadturn: %s: skipped: an earlier input was written to %s/%s\n",
                   input.c_str(), o.dir.c_str(), BaseName(input).c_str());
      ++failed;
      continue;
    }
    failed += !TurnFile(o, input);
  }
  return failed == 0 ? kAllTurned : kSomeFailed;
}

}  // namespace
}  // namespace qt_tool

int main(int argc, char** argv) { return qt_tool::Main(argc, argv); }
