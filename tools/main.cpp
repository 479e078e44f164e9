// quadturn: turns and flips BMP, TIFF and PNG files with the library:
// options, the batch of files, progress and the exit status.
#include <getopt.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "file_system.h"
#include "image_file.h"
#include "quadturn.h"
#include "tool_main.h"

#ifndef QUADTURN_VERSION
#define QUADTURN_VERSION "unknown"
#endif

namespace quadturn::tool {
namespace {

enum ExitCode { kAllTurned = 0, kSomeFailed = 1, kUsage = 2 };

const char kUsageText[] =
    "Usage: quadturn VERB [options] FILE...\n"
    "\n"
    "Turns or flips images, as they are displayed. The picture  ab  becomes:\n"
    "                                                           cd\n"
    "  right       ca/db  a quarter turn clockwise\n"
    "  left        bd/ac  a quarter turn counter-clockwise\n"
    "  half        dc/ba  a half turn\n"
    "  mirror      ba/dc  left and right exchanged\n"
    "  flip        cd/ab  top and bottom exchanged\n"
    "  transpose   ac/bd  across the diagonal from the top left\n"
    "  transverse  db/ca  across the diagonal from the top right\n"
    "  upright     as the file's orientation tag (a TIFF page's Orientation, a\n"
    "              PNG's or JPEG's EXIF orientation) shows it, the tag then set\n"
    "              to 1, so that viewers that ignore the tag show the same; a\n"
    "              file that is upright already is left as it is (copied with\n"
    "              -o or -d)\n"
    "\n"
    "The format is recognised by content and kept:\n"
    "  BMP   1 to 32 bits, bit fields, RLE4 and RLE8, OS/2 headers\n"
    "  TIFF  every page, any sample size and count, separate planes, YCbCr,\n"
    "        each written back as it was compressed\n"
    "  PNG   every colour type and depth; written without interlacing\n"
    "  JPEG  turned without decoding (the DCT blocks move, nothing is encoded\n"
    "        again); partial blocks at an edge the turn moves are refused\n"
    "        unless --trim\n"
    "(TIFF, PNG and JPEG where the tool was built with libtiff, libspng and\n"
    "libjpeg-turbo.)\n"
    "FILE - is standard input.\n"
    "\n"
    "Where to write (exactly one):\n"
    "  -o, --output=FILE     write the turned image to FILE (one input only;\n"
    "                        - is standard output)\n"
    "  -d, --dir=DIR         write each turned image to DIR under its own name;\n"
    "                        DIR must exist\n"
    "  -i, --in-place        replace each input with its turned image\n"
    "\n"
    "  -k, --keep-resolution keep the horizontal and vertical resolution as they\n"
    "                        are (exchanging the axes exchanges them)\n"
    "  -t, --orientation-tag TIFF and JPEG: record the change in the orientation\n"
    "                        tag (a page's Orientation, the EXIF orientation) and\n"
    "                        leave the pixels as they are (any TIFF and JPEG; not\n"
    "                        with upright); other formats turn as usual\n"
    "      --trim            JPEG: drop the partial blocks at an edge the turn\n"
    "                        would have to move, rather than refuse the file\n"
    "      --max-page-bytes=N  refuse a page that takes more than N bytes decoded\n"
    "                        (k, M, G: times 1024, 1024^2, 1024^3; default 1G)\n"
    "  -q, --quiet           print errors only\n"
    "  -h, --help            print this help and exit\n"
    "  -V, --version         print the version and exit\n"
    "\n"
    "A TIFF page's Orientation tag or an EXIF orientation stays as it was\n"
    "(but with upright) and the stored pixels take the change that shows as the\n"
    "one asked for. Everything else in the file is kept; what cannot\n"
    "be (an unknown PNG chunk marked unsafe to copy) is named in a note.\n"
    "The output keeps the input's format; -o FILE with a name that says another\n"
    "format (.jpg for a PNG) is refused.\n"
    "\n"
    "Each file is written whole or not at all: a new file takes the target's\n"
    "name once complete, keeping a replaced file's mode, owner and group. A\n"
    "symbolic link is followed to the file it names; anything but a regular file,\n"
    "or a file with other names (hard links), is not replaced. A file given twice\n"
    "(by any name) is turned once; a run where an output is another input, or\n"
    "two inputs share an output, stops before writing anything. A file that\n"
    "cannot be turned is reported on one line and nothing is written for it;\n"
    "the others proceed.\n"
    "\n"
    "Exit status: 0 every file turned; 1 at least one file not turned (not an image,\n"
    "damaged, not supported, out of memory, or a read or write error); 2 usage\n"
    "error, nothing written.\n";

// The command line: what is done to each image, and where it goes.
struct Options {
  Turning turning;
  std::string output, dir;
  int outputs = 0, dirs = 0;
  bool in_place = false;
  bool quiet = false;
  std::vector<std::string> inputs;
};

int UsageError(const std::string& why) {
  std::fprintf(stderr, "quadturn: %s\nTry 'quadturn --help'.\n", why.c_str());
  return kUsage;
}

// A byte count with an optional k, M or G (powers of 1024); false for
// anything else, or 0.
bool ParseBytes(const std::string& text, uint64_t* bytes) {
  std::size_t digits = 0;
  uint64_t v = 0;
  for (; digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])); ++digits) {
    if (v > (UINT64_MAX - 9) / 10) return false;
    v = v * 10 + static_cast<uint64_t>(text[digits] - '0');
  }
  const std::string unit = text.substr(digits);
  const int shift = unit.empty() ? 0
                    : unit == "k" || unit == "K" ? 10
                    : unit == "m" || unit == "M" ? 20
                    : unit == "g" || unit == "G" ? 30
                                                 : -1;
  if (digits == 0 || shift < 0 || v == 0 || v > (UINT64_MAX >> shift)) return false;
  *bytes = v << shift;
  return true;
}

// The option getopt stopped at, as the user wrote it: "-z" from "-qz".
std::string OptionName(char** argv) {
  if (optopt != 0) return std::string("-") + static_cast<char>(optopt);
  return argv[optind - 1];
}

// The options, up to the verb: -1 to go on, or the exit status (after
// --help, --version or a mistake).
int ParseOptions(int argc, char** argv, Options* o) {
  enum { kMaxPageBytes = 1000, kTrim };
  static const option kLong[] = {
      {"output", required_argument, nullptr, 'o'},  {"dir", required_argument, nullptr, 'd'},
      {"in-place", no_argument, nullptr, 'i'},      {"quiet", no_argument, nullptr, 'q'},
      {"keep-resolution", no_argument, nullptr, 'k'}, {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},       {"orientation-tag", no_argument, nullptr, 't'},
      {"max-page-bytes", required_argument, nullptr, kMaxPageBytes},
      {"trim", no_argument, nullptr, kTrim},        {nullptr, 0, nullptr, 0}};
  opterr = 0;
  optind = 1;
  int c;
  while ((c = getopt_long(argc, argv, ":o:d:iqkthV", kLong, nullptr)) != -1) {
    switch (c) {
      case 'o': o->output = optarg; ++o->outputs; break;
      case 'd': o->dir = optarg; ++o->dirs; break;
      case kMaxPageBytes:
        if (!ParseBytes(optarg, &o->turning.max_page_bytes)) {
          return UsageError("--max-page-bytes takes a number of bytes, with k, M or G if you "
                            "like (4G), not '" + std::string(optarg) + "'");
        }
        break;
      case kTrim: o->turning.trim = true; break;
      case 'i': o->in_place = true; break;
      case 'q': o->quiet = true; break;
      case 'k': o->turning.keep_resolution = true; break;
      case 't': o->turning.orientation_tag = true; break;
      case 'h': std::fputs(kUsageText, stdout); return kAllTurned;
      case 'V': std::printf("quadturn %s\n", QUADTURN_VERSION); return kAllTurned;
      case ':': return UsageError(OptionName(argv) + " needs a value");
      default: return UsageError("unknown option " + OptionName(argv));
    }
  }
  return -1;
}

// The verb, at argv[optind]: which turn, or upright.
int ParseVerb(int argc, char** argv, Options* o) {
  static const std::pair<const char*, int> kVerbs[] = {
      {"right", QUADTURN_RIGHT},   {"left", QUADTURN_LEFT},          {"half", QUADTURN_HALF},
      {"mirror", QUADTURN_MIRROR}, {"flip", QUADTURN_FLIP},          {"transpose", QUADTURN_TRANSPOSE},
      {"transverse", QUADTURN_TRANSVERSE}, {"upright", -1}};
  const char kVerbList[] = "right, left, half, mirror, flip, transpose, transverse or upright";
  if (optind >= argc) return UsageError(std::string("say what to do: ") + kVerbList);
  const std::string verb = argv[optind++];
  bool known = false;
  for (const auto& [name, type] : kVerbs) {
    if (verb == name) {
      known = true;
      o->turning.upright = type < 0;
      o->turning.type = type < 0 ? QUADTURN_NONE : type;
    }
  }
  if (!known) {
    return UsageError("the first argument must be " + std::string(kVerbList) + ", not '" + verb +
                      "'");
  }
  if (o->turning.upright && o->turning.orientation_tag) {
    return UsageError("upright moves pixels to match the orientation tag; -t cannot go with it");
  }
  return -1;
}

// The inputs, and where the turned files go: one place, which exists.
int ParseTargets(int argc, char** argv, Options* o) {
  o->inputs.assign(argv + optind, argv + argc);
  if (o->inputs.empty()) return UsageError("no input files");
  if (o->outputs > 1 || o->dirs > 1) return UsageError("say where to write only once");
  if (o->outputs + o->dirs + o->in_place != 1) {
    return UsageError("say where to write, once: -o FILE, -d DIR or --in-place");
  }
  if (o->outputs == 1 && o->output.empty()) return UsageError("-o needs a file name");
  if (o->dirs == 1 && o->dir.empty()) return UsageError("-d needs a folder name");
  if (o->outputs == 1 && o->output == "-" && StdoutIsTerminal()) {
    return UsageError("will not write an image to a terminal; send standard output to a file "
                      "or a pipe (-o - > turned.bmp)");
  }
  if (o->outputs == 1 && o->inputs.size() != 1) {
    return UsageError("-o takes one input file; use -d DIR for several");
  }
  for (const std::string& in : o->inputs) {
    if (in == "-" && o->in_place) return UsageError("--in-place cannot replace standard input");
    if (in == "-" && o->dirs == 1) {
      return UsageError("standard input has no name to write under in " + o->dir +
                        "; use -o FILE for it");
    }
  }
  if (o->dirs == 1) {
    const FileKind kind = KindOf(o->dir);
    if (kind == FileKind::kMissing) return UsageError("output folder '" + o->dir + "' does not exist");
    if (kind != FileKind::kDirectory) return UsageError("'" + o->dir + "' is not a folder");
  }
  if (o->outputs == 1 && o->output != "-" && KindOf(FolderOf(o->output)) != FileKind::kDirectory) {
    return UsageError("output folder '" + FolderOf(o->output) + "' does not exist");
  }
  return -1;
}

// Parses the command line; returns -1 to go on, otherwise the exit status.
int Parse(int argc, char** argv, Options* o) {
  int status = ParseOptions(argc, argv, o);
  if (status < 0) status = ParseVerb(argc, argv, o);
  if (status < 0) status = ParseTargets(argc, argv, o);
  return status;
}

// A file in folder `dir`, without doubling a separator `dir` ends with
// (`-d out/`).
std::string InFolder(const std::string& dir, const std::string& name) {
  return BaseName(dir).empty() ? dir + name : dir + "/" + name;
}

// A one-line progress display on a terminal, overwritten in place.
class Progress {
 public:
  Progress(bool on, std::size_t total) : on_(on), total_(total) {}
  void Show(std::size_t done, const std::string& name) {
    if (!on_) return;
    std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", done + 1, total_, name.c_str());
    std::fflush(stderr);
  }
  void Clear() {
    if (on_) std::fputs("\r\033[K", stderr);
  }
  bool on() const { return on_; }

 private:
  bool on_;
  std::size_t total_;
};

// The format a file name's extension names ("JPEG" for photo.jpg), or ""
// for a name without one or with one of no image format.
std::string FormatNamedBy(const std::string& path) {
  const std::string base = BaseName(path);
  const std::size_t dot = base.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  std::string ext = base.substr(dot + 1);
  for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  static const std::map<std::string, std::string> kNamed = {
      {"bmp", "BMP"},   {"dib", "BMP"},   {"tif", "TIFF"},  {"tiff", "TIFF"}, {"png", "PNG"},
      {"jpg", "JPEG"},  {"jpeg", "JPEG"}, {"jpe", "JPEG"},  {"jfif", "JPEG"}, {"gif", "GIF"},
      {"webp", "WebP"}, {"jp2", "JPEG 2000"}, {"j2k", "JPEG 2000"}, {"heic", "HEIF"},
      {"heif", "HEIF"}, {"avif", "AVIF"}, {"jxl", "JPEG XL"}, {"ico", "ICO"},
      {"pbm", "PBM"},   {"pgm", "PGM"},   {"ppm", "PPM"},   {"pnm", "PNM"}, {"tga", "TGA"},
      {"psd", "PSD"},   {"pdf", "PDF"}};
  const auto f = kNamed.find(ext);
  return f == kNamed.end() ? "" : f->second;
}

// Turns one file into `target`; false with the reason in `error`. `input_id`
// is which file the input was when the run started (null: none, or standard
// input). What the user is to be told of the turned file goes to `notes`;
// *unchanged says whether the file was upright already (left as it is, or
// copied to another target).
bool TurnFile(const Options& o, const std::string& input, const FileId* input_id,
              const std::string& target, std::string* error, std::vector<std::string>* notes,
              bool* unchanged) {
  FileId to;
  const bool target_exists = target != "-" && IdentityOf(target, &to);
  if (target != "-") {
    const FileKind kind = KindOf(target);
    if (kind == FileKind::kOther || kind == FileKind::kDirectory) {
      *error = "cannot write " + target + ": " +
               (kind == FileKind::kDirectory ? "is a folder" : "not a regular file; not replaced");
      return false;
    }
    // Replacing a file swaps in a new one under one name; its other names
    // would keep the old image.
    if (kind == FileKind::kRegular && target_exists && to.names > 1) {
      *error = "not replaced: " + target + " has " + std::to_string(to.names) +
               " names (hard links), and the others would keep the old image";
      return false;
    }
  }
  // An input turned into itself stays open, locked, until its turned image
  // has its name, so that two runs on one file take turns.
  const bool itself =
      input != "-" && target != "-" &&
      (input == target || (input_id != nullptr && target_exists && *input_id == to));
  std::unique_ptr<Input> in = OpenInput(input, error, itself);
  if (in == nullptr) return false;
  // A file that may turn out upright already is copied as it is: standard
  // input, read once, is kept for that.
  WholeInput kept;
  if (o.turning.upright && input == "-") {
    if (!in->ReadToEnd(&kept, error)) return false;
    in = InputOfBytes(kept.bytes.get(), kept.size);
  }
  const Turning& turning = o.turning;
  std::unique_ptr<TurnedFile> turned = TurnImageFile(*in, turning, error);
  if (turned == nullptr) return false;
  *unchanged = turned->unchanged;
  if (turned->unchanged) {
    if (itself) return true;
    // The file as it is, for the target: read again from its start.
    if (input != "-") {
      in = OpenInput(input, error);
      if (in == nullptr || !in->ReadToEnd(&kept, error)) return false;
    }
    turned = std::make_unique<TurnedBytes>(
        std::string(reinterpret_cast<const char*>(kept.bytes.get()), kept.size));
    turned->format = "as it is";
  }
  if (!itself) in.reset();
  if (o.outputs == 1 && !*unchanged) {
    const std::string named = FormatNamedBy(target);
    if (!named.empty() && named != turned->format) {
      *error = "not written: the name " + target + " says " + named + ", but the image is " +
               turned->format + " and is written as " + turned->format;
      return false;
    }
  }
  *notes = std::move(turned->notes);
  std::string why;
  std::unique_ptr<Output> out = CreateOutput(target, &why);
  if (out == nullptr || !turned->WriteTo(*out, &why) || !out->Commit(&why)) {
    *error = "cannot write " + target + ": " + why;
    return false;
  }
  return true;
}

// The inputs as found when the run starts: which file each is (`known`
// false where it names none), the first name of each file, and for each
// input named again the first name it was given.
struct InputFiles {
  std::vector<FileId> ids;
  std::vector<bool> known;
  std::map<FileId, std::string> first_names;
  std::vector<std::string> first_name;
};

// Why the run must not start, or "": an output that is another input would
// be written over before that input is read, and two inputs written to one
// output would lose the first. Inputs named twice are skipped, so they count
// once. Identities are those found at the start: another run may replace a
// file meanwhile.
std::string TargetConflict(const std::vector<std::string>& inputs,
                           const std::vector<std::string>& targets, const InputFiles& files) {
  std::map<std::string, std::string> writers;  // target -> the input written there
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    // Standard input is written only with -o (its one input) or skipped.
    if (!files.first_name[k].empty() || inputs[k] == "-" || targets[k] == "-") continue;
    FileId target;
    if (targets[k] != inputs[k] && IdentityOf(targets[k], &target)) {
      const auto other = files.first_names.find(target);
      const bool itself = files.known[k] && files.ids[k] == target;
      if (other != files.first_names.end() && !itself) {
        return inputs[k] + " would be written to " + targets[k] + ", which is the input " +
               other->second + ", before that is read";
      }
    }
    const auto placed = writers.emplace(targets[k], inputs[k]);
    if (!placed.second) {
      return placed.first->second + " and " + inputs[k] + " would both be written to " +
             targets[k];
    }
  }
  return "";
}

uint64_t TotalSize(const std::vector<std::string>& inputs) {
  uint64_t total = 0;
  for (const std::string& in : inputs) {
    std::string ignored;
    std::unique_ptr<Input> f = in == "-" ? nullptr : OpenInput(in, &ignored);
    if (f != nullptr && f->Size() > 0) total += static_cast<uint64_t>(f->Size());
  }
  return total;
}

// Which file each input is, taken before any is replaced (a file replaced
// is a new file): a file named twice, by any names, turns once.
InputFiles IdentifyInputs(const std::vector<std::string>& inputs) {
  const std::size_t n = inputs.size();
  InputFiles files{std::vector<FileId>(n), std::vector<bool>(n), {}, std::vector<std::string>(n)};
  for (std::size_t k = 0; k < n; ++k) {
    files.known[k] = inputs[k] != "-" && IdentityOf(inputs[k], &files.ids[k]);
    if (!files.known[k]) continue;
    const auto placed = files.first_names.emplace(files.ids[k], inputs[k]);
    if (!placed.second) files.first_name[k] = placed.first->second;
  }
  return files;
}

// Turns one input into its target and says so: a line naming the files on
// standard output (unless the image goes there), the reason for a failure
// and any notes on standard error. Whether it was turned.
bool TurnAndTell(const Options& o, const std::string& input, const FileId* id,
                 const std::string& target, Progress& progress) {
  const bool tell = !o.quiet && !(o.outputs == 1 && o.output == "-");
  std::string error;
  std::vector<std::string> notes;
  bool ok = false, unchanged = false;
  try {
    ok = TurnFile(o, input, id, target, &error, &notes, &unchanged);
    if (ok && tell) {
      progress.Clear();
      if (unchanged && target == input) {
        std::printf("%s: already upright, left as it is\n", input.c_str());
      } else {
        std::printf("%s -> %s%s\n", input.c_str(), target.c_str(),
                    unchanged ? " (already upright, copied as it is)" : "");
      }
    }
  } catch (const std::bad_alloc&) {
    // A file too large for the memory this process may have fails alone.
    ok = false;
    error = "out of memory";
  }
  if (!ok) {
    progress.Clear();
    std::fprintf(stderr, "quadturn: %s: %s\n", input.c_str(), error.c_str());
  }
  for (const std::string& note : notes) {
    if (!o.quiet) std::fprintf(stderr, "quadturn: %s: note: %s\n", input.c_str(), note.c_str());
  }
  return ok;
}

}  // namespace

int Main(int argc, char** argv) {
  Options o;
  const int parsed = Parse(argc, argv, &o);
  if (parsed >= 0) return parsed;
  RemoveTemporaryOnSignal();

  const InputFiles files = IdentifyInputs(o.inputs);
  // Where each input goes, worked out before anything is written.
  std::vector<std::string> targets(o.inputs.size());
  for (std::size_t k = 0; k < o.inputs.size(); ++k) {
    targets[k] = o.in_place ? o.inputs[k]
                 : o.dirs == 1 ? InFolder(o.dir, BaseName(o.inputs[k]))
                               : o.output;
  }
  const std::string conflict = TargetConflict(o.inputs, targets, files);
  if (!conflict.empty()) {
    std::fprintf(stderr, "quadturn: %s; nothing written\n", conflict.c_str());
    return kUsage;
  }
  Progress progress(!o.quiet && StderrIsTerminal() &&
                        (o.inputs.size() >= 10 || TotalSize(o.inputs) >= (uint64_t{256} << 20)),
                    o.inputs.size());
  int turned = 0, failed = 0;
  for (std::size_t k = 0; k < o.inputs.size(); ++k) {
    progress.Show(k, o.inputs[k]);
    // A file named again was turned under its first name.
    if (!files.first_name[k].empty()) {
      progress.Clear();
      if (!o.quiet) {
        std::fprintf(stderr, "quadturn: %s: the same file as %s, turned once\n",
                     o.inputs[k].c_str(), files.first_name[k].c_str());
      }
      continue;
    }
    if (TurnAndTell(o, o.inputs[k], files.known[k] ? &files.ids[k] : nullptr, targets[k],
                    progress)) {
      ++turned;
    } else {
      ++failed;
    }
  }
  progress.Clear();
  // Lines that could not be written (standard output closed or full) are a
  // failure too: whoever reads them is told nothing.
  const bool told = std::fflush(stdout) == 0 && !std::ferror(stdout);
  if (!told) std::fprintf(stderr, "quadturn: cannot write to standard output\n");
  if (!o.quiet && (o.inputs.size() > 1 || progress.on())) {
    std::fprintf(stderr, "%d turned, %d failed\n", turned, failed);
  }
  return failed == 0 && told ? kAllTurned : kSomeFailed;
}

}  // namespace quadturn::tool
