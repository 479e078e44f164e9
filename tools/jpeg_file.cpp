// JPEG files turned without decoding: libjpeg-turbo's lossless transforms
// (TurboJPEG's tjTransform) move the DCT blocks, nothing is encoded again.
// The segments before the image data are kept as they are, edited where a
// turn changes what they say (JFIF density and EXIF resolutions and pixel
// dimensions exchanged, the EXIF orientation set after upright, the EXIF
// thumbnail turned too); the library writes them out again in their order.
// Partial blocks at an edge that a turn would move are refused unless
// trimmed (--trim), as jpegtran -perfect does.
#include <turbojpeg.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "exif.h"
#include "image_file.h"
#include "orientation.h"

namespace quadturn::tool {
namespace {

constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kApp0 = 0xE0, kApp1 = 0xE1;

// A marker segment before the first scan: where its marker starts and how
// many bytes it takes with its marker and length.
struct Segment {
  uint8_t marker;
  std::size_t at, bytes;
};

// What the tool needs of a JPEG stream: its segments up to the first scan,
// its frame, and where the stream ends (after EOI).
struct Stream {
  std::vector<Segment> segments;
  std::size_t scans_at = 0;  // the first SOS marker
  std::size_t end = 0;
  uint32_t width = 0, height = 0;
  int mcu_width = 8, mcu_height = 8;
  bool progressive = false;
};

bool IsFrame(uint8_t m) {
  return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

uint32_t U16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

// Reads the segments and the frame, and walks the scans to the end of the
// stream; false with the reason where the stream is damaged.
bool ReadStream(const uint8_t* p, std::size_t n, Stream* s, std::string* error) {
  if (n < 4 || p[0] != 0xFF || p[1] != kSoi) {
    *error = "truncated JPEG file";
    return false;
  }
  std::size_t at = 2;
  bool frame = false;
  for (;;) {
    // Bytes that are not a marker are skipped to the next one, as the
    // library does (it warns of them); so are fill bytes.
    while (at + 1 < n && (p[at] != 0xFF || p[at + 1] == 0xFF || p[at + 1] == 0)) ++at;
    if (at + 4 > n) {
      *error = "truncated JPEG file";
      return false;
    }
    const uint8_t marker = p[at + 1];
    const std::size_t bytes = 2 + U16(p + at + 2);
    if (bytes < 4 || at + bytes > n) {
      *error = "truncated JPEG file (a segment runs past its end)";
      return false;
    }
    if (marker == kSos) break;
    if (IsFrame(marker) && bytes >= 10) {
      const uint8_t* f = p + at + 4;
      s->height = U16(f + 1);
      s->width = U16(f + 3);
      const int components = f[5];
      int h = 1, v = 1;
      for (int c = 0; c < components && 8 + 3 * c < static_cast<int>(bytes) - 4; ++c) {
        h = std::max(h, f[7 + 3 * c] >> 4);
        v = std::max(v, f[7 + 3 * c] & 15);
      }
      // One component is stored in single blocks whatever it says.
      s->mcu_width = components == 1 ? 8 : 8 * h;
      s->mcu_height = components == 1 ? 8 : 8 * v;
      s->progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
      frame = true;
    }
    s->segments.push_back({marker, at, bytes});
    at += bytes;
  }
  if (!frame) {
    *error = "damaged JPEG file (no frame before its image data)";
    return false;
  }
  s->scans_at = at;
  // The scans, to the end of the image: entropy-coded bytes (a 0xFF in them
  // is followed by 0 or a restart marker) and the segments between scans.
  at += 2 + U16(p + at + 2);
  while (at < n) {
    const void* ff = std::memchr(p + at, 0xFF, n - at);
    if (ff == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const uint8_t*>(ff) - p);
    if (at + 1 >= n) break;
    const uint8_t m = p[at + 1];
    if (m == 0 || m == 0xFF || (m >= 0xD0 && m <= 0xD7)) {
      at += m == 0xFF ? 1 : 2;
    } else if (m == kEoi) {
      s->end = at + 2;
      return true;
    } else if (at + 4 <= n) {
      at += 2 + U16(p + at + 2);
    } else {
      break;
    }
  }
  s->end = n;  // no end of image: the library says what is missing
  return true;
}

// RotateFlip's types as TurboJPEG's operations.
int OperationOf(int type) {
  static const int kOps[8] = {TJXOP_NONE,  TJXOP_ROT90,     TJXOP_ROT180, TJXOP_ROT270,
                              TJXOP_HFLIP, TJXOP_TRANSPOSE, TJXOP_VFLIP,  TJXOP_TRANSVERSE};
  return kOps[type & 7];
}

// Whether `type` moves the right edge (the stored columns reversed), or
// the bottom edge (the stored rows reversed), to another place.
bool MovesRightEdge(int type) { return type == 2 || type == 3 || type == 4 || type == 7; }
bool MovesBottomEdge(int type) { return type == 1 || type == 2 || type == 6 || type == 7; }

struct Library {
  Library() : handle(tjInitTransform()) {}
  ~Library() {
    if (handle != nullptr) tjDestroy(handle);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  tjhandle handle;
};

// A stream TurboJPEG wrote, in memory it allocated.
struct JpegBuffer {
  JpegBuffer() = default;
  ~JpegBuffer() { tjFree(data); }
  JpegBuffer(const JpegBuffer&) = delete;
  JpegBuffer& operator=(const JpegBuffer&) = delete;
  unsigned char* data = nullptr;
  unsigned long size = 0;
};

// The stream given `type` by the library into `out`; false with its
// reason. What the decoder warned of (damaged data it read past) goes into
// `notes`.
bool Transform(Library& lib, const std::string& in, int type, bool trim, bool progressive,
               JpegBuffer* out, std::string* error, std::vector<std::string>* notes) {
  tjtransform t{};
  t.op = OperationOf(type);
  t.options = (trim ? TJXOPT_TRIM : TJXOPT_PERFECT) | (progressive ? TJXOPT_PROGRESSIVE : 0);
  // Room for about the input's size up front: left to itself the library
  // starts at 4 KiB and doubles, copying, which costs a large file about
  // twice its size in fresh pages. It still grows the buffer if the stream
  // needs more, and then hands back a new one.
  const int room = static_cast<int>(
      std::min<std::size_t>(in.size() + in.size() / 16 + 65536, 0x7FFFFFFF));
  unsigned char* const given = tjAlloc(room);
  // Zeroed, so that a stream the library gave up on part way (its end not
  // EOI) is told from a whole one below.
  if (given != nullptr) std::memset(given, 0, static_cast<std::size_t>(room));
  out->data = given;
  out->size = given != nullptr ? static_cast<unsigned long>(room) : 0;
  // A progressive file of thousands of scans (a way to take time) is
  // refused.
  int r = tjTransform(lib.handle, reinterpret_cast<const unsigned char*>(in.data()), in.size(),
                      1, &out->data, &out->size, &t, TJFLAG_LIMITSCANS);
  if (out->data != given) tjFree(given);
  // A warning fails the call but leaves the output whole: the decoder read
  // past damaged data as readers do, and the user is told. The library
  // reports a warning also where a fatal error followed one, so the stream
  // must end with its EOI marker, which entropy-coded data never holds.
  const bool whole = out->data != nullptr && out->size >= 4 &&
                     out->data[out->size - 2] == 0xFF && out->data[out->size - 1] == 0xD9;
  if (r != 0 && tjGetErrorCode(lib.handle) == TJERR_WARNING && whole) {
    notes->push_back(std::string("the decoder read past damaged data (") +
                     tjGetErrorStr2(lib.handle) + "), as viewers do");
    r = 0;
  }
  if (r != 0) {
    const std::string why = tjGetErrorStr2(lib.handle);
    *error = (why.find("nsupported") != std::string::npos ? "not supported (" : "damaged JPEG file (") +
             why + ")";
  }
  return r == 0;
}

// The EXIF data of an APP1 segment ("Exif\0\0" and a TIFF structure).
bool IsExif(const uint8_t* p, const Segment& s) {
  return s.marker == kApp1 && s.bytes >= 4 + 6 + 8 && std::memcmp(p + s.at + 4, "Exif\0\0", 6) == 0;
}
bool IsJfif(const uint8_t* p, const Segment& s) {
  return s.marker == kApp0 && s.bytes >= 4 + 12 && std::memcmp(p + s.at + 4, "JFIF\0", 5) == 0;
}

// A segment of `marker` holding `data`, or "" where it would be too long.
std::string SegmentOf(uint8_t marker, const uint8_t* data, std::size_t n) {
  if (n + 2 > 0xFFFF) return "";
  std::string s = {'\xFF', static_cast<char>(marker), static_cast<char>((n + 2) >> 8),
                   static_cast<char>((n + 2) & 0xFF)};
  s.append(reinterpret_cast<const char*>(data), n);
  return s;
}

class TurnedJpeg : public TurnedFile {
 public:
  bool WriteTo(Output& out, std::string* error) override {
    return transformed.data != nullptr ? out.Write(transformed.data, transformed.size, error)
                                       : out.Write(bytes.data(), bytes.size(), error);
  }
  std::string bytes;       // where nothing moved
  JpegBuffer transformed;  // where the library turned the blocks
};

// The EXIF data with what the turn changes changed: the orientation (set
// to `orientation`, 0 to keep it), the pixel dimensions and resolutions
// where the axes exchange, the thumbnail given `type` too (or dropped, with
// a note, where it cannot be put back).
std::vector<uint8_t> TurnedExif(Library& lib, std::vector<uint8_t> exif, int type, bool exchange,
                                int orientation, std::vector<std::string>* notes) {
  if (orientation != 0) PutExifOrientation(&exif, orientation);
  if ((type & 1) != 0) ExchangeExifDimensions(exif.data(), exif.size());
  if (exchange) ExchangeExifResolutions(exif.data(), exif.size());
  uint32_t at = 0, length = 0;
  if (type != QUADTURN_NONE && ExifThumbnail(exif.data(), exif.size(), &at, &length)) {
    const std::string thumbnail(exif.begin() + at, exif.begin() + at + length);
    Stream s;
    std::string why;
    JpegBuffer turned;
    const bool ok =
        ReadStream(reinterpret_cast<const uint8_t*>(thumbnail.data()), thumbnail.size(), &s,
                   &why) &&
        Transform(lib, thumbnail, type, true, s.progressive, &turned, &why, notes) &&
        ReplaceExifThumbnail(&exif, std::string(reinterpret_cast<const char*>(turned.data),
                                                turned.size));
    // A thumbnail's partial blocks that the turn would move are trimmed
    // (said, as for the image), not left to refuse the file.
    const uint32_t extra_x = MovesRightEdge(type) ? s.width % s.mcu_width : 0;
    const uint32_t extra_y = MovesBottomEdge(type) ? s.height % s.mcu_height : 0;
    if (ok && (extra_x != 0 || extra_y != 0)) {
      notes->push_back("trimmed " +
                       std::to_string(uint64_t{s.width} * s.height -
                                      uint64_t{s.width - extra_x} * (s.height - extra_y)) +
                       " pixels of its EXIF thumbnail, partial blocks the turn could not move");
    }
    if (!ok) {
      DropExifThumbnail(exif.data(), exif.size());
      notes->push_back("dropped its EXIF thumbnail, which could not be turned with it" +
                       (why.empty() ? std::string() : " (" + why + ")"));
    }
  }
  return exif;
}

// Partial blocks at an edge the turn moves cannot move: refused, or with
// `trim` dropped (`dropped` pixels, said in a note).
bool CheckEdges(const Stream& s, int stored, bool trim, uint64_t* dropped,
                std::vector<std::string>* notes, std::string* error) {
  const uint32_t extra_x = MovesRightEdge(stored) ? s.width % s.mcu_width : 0;
  const uint32_t extra_y = MovesBottomEdge(stored) ? s.height % s.mcu_height : 0;
  if ((extra_x != 0 || extra_y != 0) && (extra_x == s.width || extra_y == s.height)) {
    *error = "not supported: an image of " + std::to_string(s.width) + " x " +
             std::to_string(s.height) + " pixels is smaller than one block of " +
             std::to_string(s.mcu_width) + " x " + std::to_string(s.mcu_height) +
             " the turn would move; -t records the turn in its EXIF orientation";
    return false;
  }
  *dropped = uint64_t{s.width} * s.height - uint64_t{s.width - extra_x} * (s.height - extra_y);
  if (*dropped > 0 && !trim) {
    const bool across = extra_x != 0;
    *error = "not supported without loss: its " + std::string(across ? "width" : "height") +
             " of " + std::to_string(across ? s.width : s.height) +
             " pixels is not whole blocks of " +
             std::to_string(across ? s.mcu_width : s.mcu_height) +
             ", and turned this way the partial blocks at its " +
             (across ? "right" : "bottom") + " edge would have to move; --trim drops them (" +
             std::to_string(*dropped) + " pixels), -t records the turn in its EXIF orientation";
    return false;
  }
  if (*dropped > 0) {
    notes->push_back("trimmed " + std::to_string(*dropped) + " pixels (" +
                     (extra_x != 0 ? std::to_string(extra_x) + " columns at the right" : "") +
                     (extra_x != 0 && extra_y != 0 ? ", " : "") +
                     (extra_y != 0 ? std::to_string(extra_y) + " rows at the bottom" : "") +
                     " edge, partial blocks the turn could not move)");
  }
  return true;
}

// An APP1 segment holding EXIF data; empty when it would not fit one.
std::string ExifSegment(const std::vector<uint8_t>& exif) {
  std::string header = "Exif";
  header.append(2, '\0');
  header.append(reinterpret_cast<const char*>(exif.data()), exif.size());
  return SegmentOf(kApp1, reinterpret_cast<const uint8_t*>(header.data()), header.size());
}

// The file up to its scans, the SOI marker on, with the segments the turn
// changes edited: the JFIF densities exchanged with the axes, the EXIF data
// turned with its orientation tag set to `tag_after`, or new EXIF data that
// records it.
bool EditSegments(Library& lib, const uint8_t* p, const Stream& s, int stored,
                  bool exchange, int tag, int tag_after, std::string* edited,
                  std::vector<std::string>* notes, std::string* error) {
  edited->assign(reinterpret_cast<const char*>(p), 2);
  bool has_exif = false;
  for (const Segment& seg : s.segments) {
    std::string bytes(reinterpret_cast<const char*>(p + seg.at), seg.bytes);
    if (IsJfif(p, seg) && exchange) {
      // Xdensity and Ydensity, behind "JFIF\0", the version and the units.
      std::swap_ranges(&bytes[4 + 8], &bytes[4 + 10], &bytes[4 + 10]);
    } else if (IsExif(p, seg) && !has_exif) {
      has_exif = true;
      bytes = ExifSegment(TurnedExif(lib,
                                     std::vector<uint8_t>(p + seg.at + 10, p + seg.at + seg.bytes),
                                     stored, exchange, tag_after != tag ? tag_after : 0, notes));
      if (bytes.empty()) {
        *error = "its EXIF data would pass the 64 KiB a JPEG segment holds";
        return false;
      }
    }
    *edited += bytes;
  }
  if (!has_exif && tag_after != 1) {
    // An orientation to record and no EXIF data: new data, after a JFIF
    // segment where there is one (which must come first).
    const std::size_t after = !s.segments.empty() && IsJfif(p, s.segments[0])
                                  ? 2 + s.segments[0].bytes
                                  : 2;
    edited->insert(after, ExifSegment(ExifWithOrientation(tag_after)));
  }
  return true;
}

}  // namespace

std::unique_ptr<TurnedFile> TurnJpegFile(Input& input, const Turning& turning, std::string* error) {
  WholeInput whole;
  if (!input.ReadToEnd(&whole, error)) return nullptr;
  const uint8_t* p = whole.bytes.get();
  Stream s;
  if (!ReadStream(p, whole.size, &s, error)) return nullptr;
  if (s.width == 0 || s.height == 0) {
    *error = "damaged JPEG file (an image of " + std::to_string(s.width) + " x " +
             std::to_string(s.height) + " pixels)";
    return nullptr;
  }
  int tag = 0;
  for (const Segment& seg : s.segments) {
    if (tag == 0 && IsExif(p, seg)) tag = ExifOrientation(p + seg.at + 10, seg.bytes - 10);
  }
  tag = std::max(tag, 1);
  const int stored = turning.orientation_tag ? QUADTURN_NONE : turning.StoredType(tag);
  auto turned = std::make_unique<TurnedJpeg>();
  turned->unchanged = turning.upright && stored == QUADTURN_NONE;
  uint64_t dropped = 0;
  if (!CheckEdges(s, stored, turning.trim, &dropped, &turned->notes, error)) return nullptr;

  // The segments, edited where the turn changes what they say.
  Library lib;
  if (lib.handle == nullptr) {
    *error = "out of memory";
    return nullptr;
  }
  std::string edited;
  if (!EditSegments(lib, p, s, stored, turning.ExchangesResolutions(stored), tag,
                    turning.TagAfter(tag), &edited, &turned->notes, error)) {
    return nullptr;
  }
  edited.append(reinterpret_cast<const char*>(p + s.scans_at), s.end - s.scans_at);
  if (s.end < whole.size) {
    turned->notes.push_back("dropped " + std::to_string(whole.size - s.end) +
                            " bytes behind the end of its image (another image, as in MPO "
                            "files, or other data), which were not turned");
  }
  if (stored == QUADTURN_NONE) {
    // Nothing moves (-t, or upright already): the file with its segments
    // edited.
    turned->bytes = std::move(edited);
    return turned;
  }
  if (!Transform(lib, edited, stored, dropped > 0, s.progressive, &turned->transformed, error,
                 &turned->notes)) {
    return nullptr;
  }
  return turned;
}

}  // namespace quadturn::tool
