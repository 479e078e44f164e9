// TIFF files: every page (image file directory) in order, each turned as it
// is displayed (under its Orientation tag) and written with every tag it
// had, byte for byte, but for those the turn changes: the size, the strips
// or tiles (the page's rows per strip, one strip staying one; tiles of its
// size), and the
// resolutions exchanged after a quarter turn. With -t a page keeps its
// pixels and its Orientation tag records the turn. The file is read where
// libtiff asks (standard input is read into memory first); the turned file
// is built in memory, so nothing is written unless every page turned.
#include <algorithm>
#include <memory>
#include <set>

#include "image_file.h"
#include "tiff_codec.h"
#include "tiff_jpeg.h"

namespace quadturn::tool {
namespace {

enum Tag : uint16_t {
  kWidth = 256, kLength = 257, kStripOffsets = 273, kOrientation = 274, kRowsPerStrip = 278,
  kStripByteCounts = 279, kXResolution = 282, kYResolution = 283, kFreeOffsets = 288,
  kFreeByteCounts = 289, kTileOffsets = 324, kTileByteCounts = 325, kSubImages = 330,
  kJpegStream = 513, kJpegStreamBytes = 514, kCompression = 259, kPhotometric = 262,
  kTileWidth = 322, kTileLength = 323, kPlanar = 284, kJpegTables = 347, kJpegQTables = 519, kJpegDcTables = 520,
  kJpegAcTables = 521, kGeoPixelScale = 33550, kGeoTiePoints = 33922, kGeoTransform = 34264,
  kExifDirectory = 34665, kGpsDirectory = 34853, kPixelX = 40962, kPixelY = 40963,
  kInteropDirectory = 40965
};

// The file being turned: read by libtiff and by offsets, and the turned
// file as it is built.
struct Run {
  ClientFile source;
  ClientBytes bytes{&source};
  TiffShape shape;
  std::string turned;
  TiffWriter* out = nullptr;
  std::unique_ptr<TiffValues> values;
  std::vector<std::string> notes;
  bool unchanged = true;  // no page's pixels moved
  uint64_t Size() const { return source.input_size; }
};

uint16_t OffsetType(const TiffShape& shape) { return shape.big_tiff ? kTiffLong8 : kTiffLong; }

// An integer entry of the type the file had for it, where the values fit.
TiffEntry SizeEntry(const TiffDirectory& d, uint16_t tag, uint64_t value, const TiffShape& s) {
  const TiffEntry* had = d.Find(tag);
  const uint16_t type = had != nullptr && had->type == kTiffShort && value <= 0xFFFF ? kTiffShort
                                                                                     : kTiffLong;
  return TiffIntegerEntry(tag, type, {value}, s);
}

// A page's orientation tag: 1 where it has none or one outside 1 to 8.
int OrientationOf(const TiffDirectory& d, const TiffShape& shape) {
  const uint64_t o = TiffInteger(d, kOrientation, shape, 1);
  return o >= 1 && o <= 8 ? static_cast<int>(o) : 1;
}

// Copies the bytes of [at, at + n) of the input into the turned file (at
// an even offset unless they are image data); their new offset, or false.
bool CopyBytes(Run& run, uint64_t at, uint64_t n, uint64_t* to, bool even = true) {
  std::string bytes(static_cast<std::size_t>(n), '\0');
  if (n > 0 && !run.bytes.ReadAt(at, &bytes[0], bytes.size())) return false;
  *to = run.out->Append(bytes.data(), bytes.size(), even);
  return true;
}

// A directory an entry points to (EXIF, GPS, interoperability), copied
// into the turned file with the directories it points to in turn; the
// entry then points to the copy. Pixel dimensions are exchanged after a
// quarter turn.
bool CopySubDirectory(Run& run, TiffEntry* pointer, bool quarter, int depth, std::string* error) {
  std::vector<uint64_t> at;
  if (!TiffIntegers(*pointer, run.shape, &at) || at.size() != 1 || depth > 2) {
    *error = "damaged TIFF file (tag " + std::to_string(pointer->tag) + " points nowhere)";
    return false;
  }
  TiffDirectory sub;
  if (!ReadTiffDirectory(run.bytes, run.shape, at[0], run.values.get(), &sub, error)) return false;
  sub.next = 0;
  for (TiffEntry& e : sub.entries) {
    if (e.tag == kInteropDirectory && !CopySubDirectory(run, &e, quarter, depth + 1, error)) {
      return false;
    }
  }
  TiffEntry* x = sub.Find(kPixelX);
  TiffEntry* y = sub.Find(kPixelY);
  if (quarter && x != nullptr && y != nullptr) std::swap(x->tag, y->tag);
  const uint64_t written = run.out->WriteDirectory(std::move(sub), false);
  const bool ifd = pointer->type == kTiffIfd || pointer->type == kTiffIfd8;
  const uint16_t type = !ifd ? OffsetType(run.shape)
                        : run.shape.big_tiff ? uint16_t{kTiffIfd8} : uint16_t{kTiffIfd};
  *pointer = TiffIntegerEntry(pointer->tag, type, {written}, run.shape);
  return true;
}

// "tags 42112, 530" and no more than a few.
std::string TagList(const std::vector<uint16_t>& tags) {
  std::string list = tags.size() == 1 ? "tag " : "tags ";
  for (std::size_t k = 0; k < tags.size() && k < 6; ++k) {
    list += (k > 0 ? ", " : "") + std::to_string(tags[k]);
  }
  if (tags.size() > 6) list += " and " + std::to_string(tags.size() - 6) + " more";
  return list;
}

// The parts of a page that point into the file, other than its pixels:
// sub-directories copied, what only describes the input file dropped, and
// what cannot be carried named in a note.
bool CarryPointers(Run& run, TiffDirectory* d, int number, bool quarter, std::string* error) {
  const std::string page = "page " + std::to_string(number) + ": ";
  d->Remove(kFreeOffsets);
  d->Remove(kFreeByteCounts);
  if (const TiffEntry* sub = d->Find(kSubImages)) {
    run.notes.push_back(page + "dropped its " +
                        (sub->count == 1 ? std::string("sub-image (a reduced-resolution copy or "
                                                       "thumbnail)")
                                         : std::to_string(sub->count) +
                                               " sub-images (reduced-resolution copies or "
                                               "thumbnails)"));
    d->Remove(kSubImages);
  }
  if (d->unknown_types > 0) {
    run.notes.push_back(page + "dropped " + std::to_string(d->unknown_types) +
                        " tags of types TIFF does not define");
  }
  if (!d->unreadable.empty()) {
    run.notes.push_back(page + "dropped " + TagList(d->unreadable) +
                        ": their values lie outside the file");
  }
  if (!d->repeated.empty()) {
    run.notes.push_back(page + "dropped " + TagList(d->repeated) +
                        " given a second time (the first is kept)");
  }
  for (TiffEntry& e : d->entries) {
    if ((e.tag == kExifDirectory || e.tag == kGpsDirectory || e.tag == kInteropDirectory) &&
        !CopySubDirectory(run, &e, quarter, 0, error)) {
      return false;
    }
  }
  return true;
}

// Where a piece of the input's image data went in the turned file.
struct Moved {
  uint64_t from, bytes, to;
};

// Old-style JPEG's stream and tables, which its tags give by offset. A
// stream inside the image data (often its first strip, its length not
// given) follows that data; another is copied.
bool CarryOldJpeg(Run& run, TiffDirectory* d, const std::vector<Moved>& moved,
                  std::string* error) {
  std::vector<uint64_t> at;
  if (const TiffEntry* stream = d->Find(kJpegStream)) {
    TiffIntegers(*stream, run.shape, &at);
    const TiffEntry* length = d->Find(kJpegStreamBytes);
    const uint64_t bytes = TiffInteger(*d, kJpegStreamBytes, run.shape, 0);
    uint64_t to = 0;
    bool placed = false;
    for (const Moved& m : moved) {
      if (at.size() == 1 && at[0] >= m.from && at[0] - m.from < m.bytes &&
          (length == nullptr || bytes <= m.bytes - (at[0] - m.from))) {
        to = m.to + (at[0] - m.from);
        placed = true;
        break;
      }
    }
    if (!placed && (at.size() != 1 || length == nullptr || at[0] > run.Size() ||
                    bytes > run.Size() - at[0] || !CopyBytes(run, at[0], bytes, &to))) {
      *error = "damaged TIFF file (its old-style JPEG stream lies outside it, or its length "
               "is not given)";
      return false;
    }
    d->Put(TiffIntegerEntry(kJpegStream, OffsetType(run.shape), {to}, run.shape));
  }
  for (uint16_t tag : {kJpegQTables, kJpegDcTables, kJpegAcTables}) {
    TiffEntry* tables = d->Find(tag);
    if (tables == nullptr) continue;
    TiffIntegers(*tables, run.shape, &at);
    for (uint64_t& table : at) {
      // A quantisation table is 64 bytes; a Huffman table 16 counts and
      // the values they count.
      uint64_t bytes = 64;
      uint8_t counts[16];
      bool readable = true;
      if (tag != kJpegQTables) {
        readable = run.bytes.ReadAt(table, counts, sizeof counts);
        bytes = 16;
        for (uint8_t c : counts) bytes += readable ? c : 0;
      }
      if (!readable || table > run.Size() || bytes > run.Size() - table ||
          !CopyBytes(run, table, bytes, &table)) {
        *error = "damaged TIFF file (its JPEG tables lie outside it)";
        return false;
      }
    }
    d->Put(TiffIntegerEntry(tag, OffsetType(run.shape), at, run.shape));
  }
  return true;
}

// A page with -t: its strips or tiles copied as they are, its Orientation
// tag recording the turn.
bool CopyPageTurnedByTag(Run& run, TiffDirectory d, int number, const Turning& turning,
                         std::string* error) {
  const bool tiled = d.Find(kTileOffsets) != nullptr;
  const uint16_t offsets_tag = tiled ? kTileOffsets : kStripOffsets;
  const uint16_t counts_tag = tiled ? kTileByteCounts : kStripByteCounts;
  std::vector<uint64_t> offsets, counts;
  const TiffEntry* o = d.Find(offsets_tag);
  const TiffEntry* c = d.Find(counts_tag);
  if (o == nullptr || c == nullptr || !TiffIntegers(*o, run.shape, &offsets) ||
      !TiffIntegers(*c, run.shape, &counts) || offsets.size() != counts.size()) {
    *error = "damaged TIFF file (its strips' offsets and sizes are not given)";
    return false;
  }
  // Pieces that overlap or add up to more than the file would each be
  // copied: a small file could ask for any size.
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  uint64_t total = 0;
  for (std::size_t k = 0; k < offsets.size(); ++k) {
    if (offsets[k] > run.Size() || counts[k] > run.Size() - offsets[k]) {
      *error = "truncated TIFF file (its image data runs past its end)";
      return false;
    }
    total += counts[k];
    if (counts[k] > 0) ranges.emplace_back(offsets[k], counts[k]);
  }
  std::sort(ranges.begin(), ranges.end());
  for (std::size_t k = 1; k < ranges.size(); ++k) {
    if (ranges[k - 1].first + ranges[k - 1].second > ranges[k].first || total > run.Size()) {
      *error = "damaged TIFF file (its strips or tiles overlap; copying each would multiply "
               "the file)";
      return false;
    }
  }
  std::vector<Moved> moved;
  for (std::size_t k = 0; k < offsets.size(); ++k) {
    moved.push_back({offsets[k], counts[k], 0});
    if (!CopyBytes(run, offsets[k], counts[k], &offsets[k], false)) {
      *error = "cannot read the image data";
      return false;
    }
    moved.back().to = offsets[k];
  }
  d.Put(TiffIntegerEntry(offsets_tag, OffsetType(run.shape), offsets, run.shape));
  d.Put(TiffIntegerEntry(
      kOrientation, kTiffShort,
      {static_cast<uint64_t>(turning.TagAfter(OrientationOf(d, run.shape)))}, run.shape));
  if (!CarryOldJpeg(run, &d, moved, error) || !CarryPointers(run, &d, number, false, error)) return false;
  run.out->WriteDirectory(std::move(d), true);
  return true;
}

// Why libtiff could not go on, from its first error or the input's.
std::string Reason(Run& run, Tiff& in) {
  const std::string detail = !run.source.read_error.empty() ? run.source.read_error : in.TakeError();
  return detail.empty() ? "" : " (" + detail + ")";
}

// A page turned: decoded by libtiff (positioned at it), turned as
// displayed, encoded as it was, and written with its directory's other
// tags as they were.
// A JPEG-compressed page turned at the level of its DCT blocks: its pieces
// read by offsets, turned, and appended to the turned file; its JPEGTables
// replaced by the turned ones.
bool TurnJpegPage(Run& run, TiffDirectory& d, int stored, const Turning& turning,
                  uint32_t* width, uint32_t* height, EncodedPieces* encoded, std::string* error) {
  JpegTiffPage page;
  page.width = static_cast<uint32_t>(TiffInteger(d, kWidth, run.shape, 0));
  page.height = static_cast<uint32_t>(TiffInteger(d, kLength, run.shape, 0));
  page.tiled = d.Find(kTileOffsets) != nullptr;
  page.tile_width = static_cast<uint32_t>(TiffInteger(d, kTileWidth, run.shape, 0));
  page.tile_length = static_cast<uint32_t>(TiffInteger(d, kTileLength, run.shape, 0));
  page.rows_per_strip = static_cast<uint32_t>(
      std::min<uint64_t>(TiffInteger(d, kRowsPerStrip, run.shape, page.height), page.height));
  page.ycbcr = TiffInteger(d, kPhotometric, run.shape, 0) == 6;
  if (TiffInteger(d, kPlanar, run.shape, 1) == 2) {
    *error = "not supported: JPEG-compressed separate planes; -t records the turn in its "
             "Orientation tag";
    return false;
  }
  if (const TiffEntry* tables = d.Find(kJpegTables)) page.tables = tables->value;
  std::vector<uint64_t> offsets, counts;
  const TiffEntry* o = d.Find(page.tiled ? kTileOffsets : kStripOffsets);
  const TiffEntry* c = d.Find(page.tiled ? kTileByteCounts : kStripByteCounts);
  if (o == nullptr || c == nullptr || !TiffIntegers(*o, run.shape, &offsets) ||
      !TiffIntegers(*c, run.shape, &counts) || offsets.size() != counts.size()) {
    *error = "damaged TIFF file (its strips' offsets and sizes are not given)";
    return false;
  }
  uint64_t total = 0;
  for (std::size_t k = 0; k < offsets.size(); ++k) {
    total += counts[k];
    if (offsets[k] > run.Size() || counts[k] > run.Size() - offsets[k] || total > run.Size()) {
      *error = "truncated TIFF file (its image data runs past its end)";
      return false;
    }
    page.pieces.emplace_back(static_cast<std::size_t>(counts[k]), '\0');
    if (counts[k] > 0 && !run.bytes.ReadAt(offsets[k], &page.pieces.back()[0], counts[k])) {
      *error = "cannot read the image data";
      return false;
    }
  }
  TurnedJpegTiffPage turned;
  if (!TurnJpegTiffPage(page, stored, turning.trim, turning.max_page_bytes, &turned, error)) {
    return false;
  }
  if (turned.trimmed_pixels > 0) {
    run.notes.push_back("trimmed " + std::to_string(turned.trimmed_pixels) +
                        " pixels of a JPEG page, partial blocks the turn could not move");
  }
  *width = turned.width;
  *height = turned.height;
  encoded->tiled = page.tiled;
  encoded->rows_per_strip = turned.rows_per_strip;
  for (const std::string& piece : turned.pieces) {
    encoded->offsets.push_back(run.out->Append(piece.data(), piece.size(), false));
    encoded->byte_counts.push_back(piece.size());
  }
  TiffEntry tables;
  tables.tag = kJpegTables;
  tables.type = kTiffUndefined;
  tables.count = turned.tables.size();
  tables.value = turned.tables;
  d.Put(tables);
  return true;
}

// A page's pixels decoded by libtiff (positioned at the page), turned,
// and encoded as they were.
bool TurnPagePixels(Run& run, Tiff& in, int number, int stored, const Turning& turning,
                    uint32_t* width, uint32_t* height, EncodedPieces* encoded,
                    std::string* error) {
  const std::string page = "page " + std::to_string(number) + ": ";
  std::string why;
  PixelLayout layout;
  if (!ReadPixelLayout(in.tif, &layout, &why)) {
    *error = page + why;
    return false;
  }
  if (!TilesFitPage(in.tif, &why)) {
    *error = page + why;
    return false;
  }
  if (!TurnKeepsEveryPixel(layout, stored, &why)) {
    *error = page + why;
    return false;
  }
  why = PageOverLimit(layout.Bytes(), turning.max_page_bytes);
  if (!why.empty()) {
    *error = page + why;
    return false;
  }
  const uint32_t pieces = TIFFIsTiled(in.tif) ? TIFFNumberOfTiles(in.tif) : TIFFNumberOfStrips(in.tif);
  for (uint32_t k = 0; k < pieces; ++k) {
    const uint64_t at = TIFFGetStrileOffset(in.tif, k), size = TIFFGetStrileByteCount(in.tif, k);
    if (at > run.Size() || size > run.Size() - at) {
      *error = page + "truncated TIFF file (its image data runs past its end)";
      return false;
    }
  }
  std::vector<Plane> planes(static_cast<std::size_t>(layout.PlaneCount()));
  for (int k = 0; k < layout.PlaneCount(); ++k) {
    if (!planes[k].Make(layout.PlaneWidth(k), layout.PlaneHeight(k), layout.PlaneBits(), &why)) {
      *error = page + why;
      return false;
    }
  }
  // Errors from here on are about the pixels: a decoder that reports one
  // and goes on has guessed at them.
  in.TakeError();
  if (!ReadPagePixels(in.tif, layout, planes) || !in.error.empty()) {
    *error = page + "damaged" + Reason(run, in);
    return false;
  }
  for (Plane& plane : planes) {
    if (!plane.Turn(stored, &why)) {
      *error = page + why;
      return false;
    }
  }
  const PixelLayout turned = layout.Turned(stored);
  if (!EncodePage(in.tif, turned, planes, run.shape, run.out, encoded, &why)) {
    *error = page + "cannot encode the turned page" + (why.empty() ? "" : " (" + why + ")");
    return false;
  }
  *width = turned.width;
  *height = turned.height;
  return true;
}

// A page turned, as displayed under its orientation tag: its pixels (or a
// JPEG page's blocks) turned and encoded as they were, and written with its
// directory's other tags as they were.
bool TurnPage(Run& run, Tiff& in, TiffDirectory d, int number, const Turning& turning,
              std::string* error) {
  const std::string page = "page " + std::to_string(number) + ": ";
  const int tag = OrientationOf(d, run.shape);
  const int stored = turning.StoredType(tag);
  if (stored != QUADTURN_NONE) run.unchanged = false;
  uint32_t width = 0, height = 0;
  EncodedPieces encoded;
  const bool turned = TiffInteger(d, kCompression, run.shape, 1) == COMPRESSION_JPEG
                          ? TurnJpegPage(run, d, stored, turning, &width, &height, &encoded, error)
                          : TurnPagePixels(run, in, number, stored, turning, &width, &height,
                                           &encoded, error);
  if (!turned) {
    if (error->rfind("page ", 0) != 0) *error = page + *error;
    return false;
  }
  for (uint16_t tag : {kStripOffsets, kStripByteCounts, kRowsPerStrip, kTileOffsets,
                       kTileByteCounts}) {
    d.Remove(tag);
  }
  d.Put(SizeEntry(d, kWidth, width, run.shape));
  d.Put(SizeEntry(d, kLength, height, run.shape));
  const uint16_t type = OffsetType(run.shape);
  d.Put(TiffIntegerEntry(encoded.tiled ? kTileOffsets : kStripOffsets, type, encoded.offsets,
                         run.shape));
  d.Put(TiffIntegerEntry(encoded.tiled ? kTileByteCounts : kStripByteCounts, type,
                         encoded.byte_counts, run.shape));
  if (!encoded.tiled) {
    d.Put(TiffIntegerEntry(kRowsPerStrip, kTiffLong, {encoded.rows_per_strip}, run.shape));
  }
  // Exchanged axes exchange the horizontal and vertical resolution (a fax
  // of 204 x 98 dpi becomes 98 x 204), exactly as they were written.
  if (turning.ExchangesResolutions(stored)) {
    TiffEntry* x = d.Find(kXResolution);
    TiffEntry* y = d.Find(kYResolution);
    if (x != nullptr) x->tag = kYResolution;
    if (y != nullptr) y->tag = kXResolution;
  }
  if (turning.TagAfter(tag) != tag && d.Find(kOrientation) != nullptr) {
    d.Put(TiffIntegerEntry(kOrientation, kTiffShort,
                           {static_cast<uint64_t>(turning.TagAfter(tag))}, run.shape));
  }
  if (stored != QUADTURN_NONE) {
    if (d.Find(kGeoPixelScale) != nullptr || d.Find(kGeoTiePoints) != nullptr ||
        d.Find(kGeoTransform) != nullptr) {
      run.notes.push_back(page + "its GeoTIFF georeferencing is kept as it was and no longer "
                                 "matches the turned pixels");
    }
  }
  if (!CarryPointers(run, &d, number, (stored & 1) != 0, error)) return false;
  run.out->WriteDirectory(std::move(d), true);
  return true;
}

// The run over a file: read where it is (or whole, into `file`, where the
// input cannot be read at an offset), its header and its first page's
// directory checked first, so that a file libtiff cannot open is refused
// in this tool's words.
bool OpenRun(Input& input, WholeInput* file, Run* run, std::string* error) {
  if (input.CanReadAt()) {
    run->source.input = &input;
    run->source.input_size = static_cast<uint64_t>(input.Size());
  } else {
    if (!input.ReadToEnd(file, error)) return false;
    run->source.data = file->bytes.get();
    run->source.input_size = file->size;
  }
  // Room for every value of a real file once, and a little more.
  run->values = std::make_unique<TiffValues>(run->Size() + (uint64_t{1} << 20));
  if (!ReadTiffHeader(run->bytes, &run->shape)) {
    *error = !run->source.read_error.empty() ? run->source.read_error
                                             : "truncated TIFF file (it ends inside its header)";
    return false;
  }
  if (run->shape.first_directory == 0) {
    *error = "damaged TIFF file (it has no pages)";
    return false;
  }
  TiffDirectory first;
  if (!ReadTiffDirectory(run->bytes, run->shape, run->shape.first_directory, run->values.get(),
                         &first, error)) {
    *error = "page 1: " + *error;
    return false;
  }
  return true;
}

// Every page along the chain, turned (copied with its tag set where `in`
// is null: -t), into the run's writer.
bool TurnPages(Run& run, Tiff* in, const Turning& turning, std::string* error) {
  std::set<uint64_t> seen;
  int number = 1;
  for (uint64_t at = run.shape.first_directory; at != 0; ++number) {
    const std::string page = "page " + std::to_string(number) + ": ";
    // A chain that loops back has no more pages: as readers do, the pages
    // before the loop are the file's.
    if (!seen.insert(at).second) {
      run.notes.push_back("the chain of pages loops back after page " + std::to_string(number - 1) +
                          "; it ends there in the turned file");
      break;
    }
    TiffDirectory d;
    if (!ReadTiffDirectory(run.bytes, run.shape, at, run.values.get(), &d, error)) {
      *error = page + *error;
      return false;
    }
    const uint64_t next = d.next;
    // libtiff walks the same chain: past the first page, to the next one.
    if (in != nullptr && number > 1) {
      in->TakeError();
      if (!TIFFReadDirectory(in->tif) || TIFFCurrentDirOffset(in->tif) != at) {
        *error = page + "damaged TIFF file" + Reason(run, *in);
        return false;
      }
    }
    const bool ok = in == nullptr ? CopyPageTurnedByTag(run, std::move(d), number, turning, error)
                                  : TurnPage(run, *in, std::move(d), number, turning, error);
    if (!ok) {
      if (error->rfind("page ", 0) != 0) *error = page + *error;
      return false;
    }
    at = next;
  }
  return true;
}

}  // namespace

std::unique_ptr<TurnedFile> TurnTiffFile(Input& input, const Turning& turning,
                                         std::string* error) {
  WholeInput file;
  Run run;
  if (!OpenRun(input, &file, &run, error)) return nullptr;
  // With -t nothing is decoded: libtiff is not needed.
  std::unique_ptr<Tiff> in;
  if (!turning.orientation_tag) {
    in = std::make_unique<Tiff>(&run.source, "rc",
                                std::max<uint64_t>(turning.max_page_bytes, uint64_t{64} << 20));
    if (in->tif == nullptr) {
      *error = !run.source.read_error.empty() ? run.source.read_error
                                              : "damaged TIFF file" + Reason(run, *in);
      return nullptr;
    }
  }
  // The turned file is about as large as the file.
  run.turned.reserve(static_cast<std::size_t>(std::min<uint64_t>(run.Size(), uint64_t{1} << 30)) +
                     (std::size_t{64} << 10));
  TiffWriter out(&run.turned, run.shape);
  run.out = &out;
  if (!TurnPages(run, in.get(), turning, error)) return nullptr;
  if (!out.ok()) {
    *error = "the turned file would pass 4 GiB, more than a TIFF file of its kind can hold";
    return nullptr;
  }
  auto turned = std::make_unique<TurnedBytes>(std::move(run.turned));
  turned->notes = std::move(run.notes);
  turned->unchanged = turning.upright && run.unchanged;
  return turned;
}

}  // namespace quadturn::tool
