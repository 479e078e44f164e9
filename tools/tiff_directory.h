// TIFF directories as the file's bytes hold them, read and written without
// libtiff, so that every tag of a page is carried over exactly as it was
// (rationals, counts libtiff would refuse, private tags) and only the ones a
// turn changes are rewritten. Classic TIFF and BigTIFF, either byte order;
// values stay in the file's byte order, which the turned file keeps.
#ifndef QUADTURN_TOOLS_TIFF_DIRECTORY_H
#define QUADTURN_TOOLS_TIFF_DIRECTORY_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quadturn::tool {

// Byte order and kind of a TIFF file, from its header.
struct TiffShape {
  bool big_endian = false;
  bool big_tiff = false;
  uint64_t first_directory = 0;
};

// A file read by offsets: false where the bytes are not all there.
class TiffBytes {
 public:
  virtual ~TiffBytes() = default;
  virtual bool ReadAt(uint64_t offset, void* to, std::size_t n) = 0;
  virtual uint64_t Size() const = 0;
};

// The header's shape; false where it is not a TIFF header.
bool ReadTiffHeader(TiffBytes& file, TiffShape* shape);

// One tag of a directory: `count` values of `type`, their bytes in the
// file's byte order, and where they lay in the file (0 when inside the
// entry, or made here).
struct TiffEntry {
  uint16_t tag = 0, type = 0;
  uint64_t count = 0;
  std::string value;
  uint64_t from = 0;
};

enum TiffType : uint16_t {
  kTiffByte = 1, kTiffAscii = 2, kTiffShort = 3, kTiffLong = 4, kTiffRational = 5,
  kTiffUndefined = 7, kTiffIfd = 13, kTiffLong8 = 16, kTiffIfd8 = 18
};

// A directory's entries, and the offset of the next one (0 at the end).
struct TiffDirectory {
  std::vector<TiffEntry> entries;
  uint64_t next = 0;
  int unknown_types = 0;  // entries of types no reader can size, left out
  // Tags left out because their values lie outside the file, or would take
  // it more than once over.
  std::vector<uint16_t> unreadable;
  std::vector<uint16_t> repeated;  // tags given again, the first kept (as libtiff does)

  const TiffEntry* Find(uint16_t tag) const;
  TiffEntry* Find(uint16_t tag);
  void Remove(uint16_t tag);
  // Replaces the tag's entry or adds one.
  void Put(TiffEntry entry);
};

// The values read from one file: each place read once, and no more bytes
// in all than the budget, so that directories whose values overlap cannot
// make a small file ask for the file many times over (a real file's values
// lie apart, and pages that share one share the place).
class TiffValues {
 public:
  explicit TiffValues(uint64_t budget) : left_(budget) {}
  // The bytes at [at, at + n), or null where the budget is spent or they
  // cannot be read.
  const std::string* Get(TiffBytes& file, uint64_t at, std::size_t n);

 private:
  uint64_t left_;
  std::map<std::pair<uint64_t, std::size_t>, std::string> read_;
};

// Reads the directory at `offset`, its entries in tag order. False with the
// reason where it lies outside the file; entries whose values do (or pass
// the budget) are left out and listed.
bool ReadTiffDirectory(TiffBytes& file, const TiffShape& shape, uint64_t offset,
                       TiffValues* values, TiffDirectory* directory, std::string* error);

// An integer entry's values (BYTE, SHORT, LONG, LONG8, IFD, IFD8); false
// for another type.
bool TiffIntegers(const TiffEntry& e, const TiffShape& shape, std::vector<uint64_t>* values);
// The first value of an integer entry, or `otherwise`.
uint64_t TiffInteger(const TiffDirectory& d, uint16_t tag, const TiffShape& shape,
                     uint64_t otherwise);
// An entry of integers of `type` (SHORT, LONG, LONG8, IFD, IFD8).
TiffEntry TiffIntegerEntry(uint16_t tag, uint16_t type, const std::vector<uint64_t>& values,
                           const TiffShape& shape);

// The turned file as it is built: the header first, then data and
// directories, each main directory linked from the last.
class TiffWriter {
 public:
  TiffWriter(std::string* out, const TiffShape& shape);
  // Appends bytes, at an even offset for values and directories (image
  // data needs none); their offset.
  uint64_t Append(const void* bytes, std::size_t n, bool even = true);
  // Writes a directory (entries in tag order, values that do not fit an
  // entry before it, each value from the same place in the input written
  // once) and returns its offset. A page's directory is linked into the
  // chain; a sub-directory (EXIF) is not.
  uint64_t WriteDirectory(TiffDirectory directory, bool page);
  // False where the file passed what its offsets can say (4 GiB for classic
  // TIFF).
  bool ok() const { return ok_; }

 private:
  void PutOffset(uint64_t at, uint64_t value);

  std::string* out_;
  TiffShape shape_;
  uint64_t link_at_;  // where the last page's "next directory" lies
  std::map<std::pair<uint64_t, std::size_t>, uint64_t> written_;
  bool ok_ = true;
};

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_TIFF_DIRECTORY_H
