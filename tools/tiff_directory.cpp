// Reading and writing TIFF directories byte for byte.
#include "tiff_directory.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace quadturn::tool {
namespace {

// Bytes of one value of each type TIFF 6 and BigTIFF define; 0 for others.
std::size_t TypeBytes(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: case 16: case 17: case 18: return 8;
  }
  return 0;
}

// Entries, counts and offsets by kind of file.
std::size_t FieldBytes(const TiffShape& s) { return s.big_tiff ? 8 : 4; }
std::size_t EntryBytes(const TiffShape& s) { return s.big_tiff ? 20 : 12; }
std::size_t CountBytes(const TiffShape& s) { return s.big_tiff ? 8 : 2; }

uint64_t Unsigned(const uint8_t* p, std::size_t n, bool big_endian) {
  uint64_t v = 0;
  for (std::size_t k = 0; k < n; ++k) {
    v |= uint64_t{p[big_endian ? k : n - 1 - k]} << (8 * (n - 1 - k));
  }
  return v;
}

void PutUnsigned(uint8_t* p, std::size_t n, uint64_t v, bool big_endian) {
  for (std::size_t k = 0; k < n; ++k) {
    p[big_endian ? n - 1 - k : k] = static_cast<uint8_t>(v >> (8 * k));
  }
}

// No real file has more; a hostile one could ask for millions.
constexpr uint64_t kMaxEntries = 65535;

}  // namespace

bool ReadTiffHeader(TiffBytes& file, TiffShape* shape) {
  uint8_t h[16];
  if (!file.ReadAt(0, h, 8)) return false;
  if (h[0] != h[1] || (h[0] != 'I' && h[0] != 'M')) return false;
  shape->big_endian = h[0] == 'M';
  const uint64_t version = Unsigned(h + 2, 2, shape->big_endian);
  shape->big_tiff = version == 43;
  if (version == 42) {
    shape->first_directory = Unsigned(h + 4, 4, shape->big_endian);
    return true;
  }
  if (version != 43 || !file.ReadAt(8, h + 8, 8)) return false;
  if (Unsigned(h + 4, 2, shape->big_endian) != 8) return false;
  shape->first_directory = Unsigned(h + 8, 8, shape->big_endian);
  return true;
}

const TiffEntry* TiffDirectory::Find(uint16_t tag) const {
  for (const TiffEntry& e : entries) {
    if (e.tag == tag) return &e;
  }
  return nullptr;
}

TiffEntry* TiffDirectory::Find(uint16_t tag) {
  return const_cast<TiffEntry*>(static_cast<const TiffDirectory*>(this)->Find(tag));
}

void TiffDirectory::Remove(uint16_t tag) {
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [tag](const TiffEntry& e) { return e.tag == tag; }),
                entries.end());
}

void TiffDirectory::Put(TiffEntry entry) {
  Remove(entry.tag);
  entries.push_back(std::move(entry));
}

const std::string* TiffValues::Get(TiffBytes& file, uint64_t at, std::size_t n) {
  const auto key = std::make_pair(at, n);
  const auto found = read_.find(key);
  if (found != read_.end()) return &found->second;
  if (n > left_ || at > file.Size() || n > file.Size() - at) return nullptr;
  std::string bytes(n, '\0');
  if (!file.ReadAt(at, &bytes[0], n)) return nullptr;
  left_ -= n;
  return &read_.emplace(key, std::move(bytes)).first->second;
}

bool ReadTiffDirectory(TiffBytes& file, const TiffShape& shape, uint64_t offset,
                       TiffValues* values, TiffDirectory* d, std::string* error) {
  const uint64_t size = file.Size();
  *d = TiffDirectory{};
  uint8_t count_bytes[8];
  if (offset >= size || !file.ReadAt(offset, count_bytes, CountBytes(shape))) {
    *error = "truncated TIFF file (a directory at byte " + std::to_string(offset) +
             " lies past its end at " + std::to_string(size) + ")";
    return false;
  }
  const uint64_t n = Unsigned(count_bytes, CountBytes(shape), shape.big_endian);
  if (n > kMaxEntries) {
    *error = "damaged TIFF file (a directory of " + std::to_string(n) + " tags)";
    return false;
  }
  std::vector<uint8_t> raw(static_cast<std::size_t>(n * EntryBytes(shape) + FieldBytes(shape)));
  if (!file.ReadAt(offset + CountBytes(shape), raw.data(), raw.size())) {
    *error = "truncated TIFF file (a directory runs past its end)";
    return false;
  }
  std::set<uint16_t> tags;
  const std::size_t field = FieldBytes(shape), count_at = 4, field_at = 4 + field;
  for (uint64_t k = 0; k < n; ++k) {
    const uint8_t* p = raw.data() + k * EntryBytes(shape);
    TiffEntry e;
    e.tag = static_cast<uint16_t>(Unsigned(p, 2, shape.big_endian));
    e.type = static_cast<uint16_t>(Unsigned(p + 2, 2, shape.big_endian));
    e.count = Unsigned(p + count_at, field, shape.big_endian);
    const std::size_t each = TypeBytes(e.type);
    if (each == 0) {
      ++d->unknown_types;
      continue;
    }
    if (!tags.insert(e.tag).second) {
      d->repeated.push_back(e.tag);
      continue;
    }
    if (e.count > size / each) {
      d->unreadable.push_back(e.tag);
      continue;
    }
    const uint64_t bytes = e.count * each;
    if (bytes <= field) {
      e.value.assign(reinterpret_cast<const char*>(p + field_at), static_cast<std::size_t>(bytes));
    } else {
      e.from = Unsigned(p + field_at, field, shape.big_endian);
      const std::string* v = values->Get(file, e.from, static_cast<std::size_t>(bytes));
      if (v == nullptr) {
        d->unreadable.push_back(e.tag);
        continue;
      }
      e.value = *v;
    }
    d->entries.push_back(std::move(e));
  }
  d->next = Unsigned(raw.data() + n * EntryBytes(shape), field, shape.big_endian);
  // In tag order, as they are written: what is done for each (a directory
  // it points to copied) happens in the same order for a file and for its
  // turned copy.
  std::stable_sort(d->entries.begin(), d->entries.end(),
                   [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
  return true;
}

bool TiffIntegers(const TiffEntry& e, const TiffShape& shape, std::vector<uint64_t>* values) {
  const std::size_t each = TypeBytes(e.type);
  const bool integer = e.type == kTiffByte || e.type == kTiffShort || e.type == kTiffLong ||
                       e.type == kTiffLong8 || e.type == kTiffIfd || e.type == kTiffIfd8;
  if (!integer) return false;
  values->clear();
  const auto* p = reinterpret_cast<const uint8_t*>(e.value.data());
  for (std::size_t at = 0; at + each <= e.value.size(); at += each) {
    values->push_back(Unsigned(p + at, each, shape.big_endian));
  }
  return true;
}

uint64_t TiffInteger(const TiffDirectory& d, uint16_t tag, const TiffShape& shape,
                     uint64_t otherwise) {
  const TiffEntry* e = d.Find(tag);
  std::vector<uint64_t> v;
  return e != nullptr && TiffIntegers(*e, shape, &v) && !v.empty() ? v[0] : otherwise;
}

TiffEntry TiffIntegerEntry(uint16_t tag, uint16_t type, const std::vector<uint64_t>& values,
                           const TiffShape& shape) {
  TiffEntry e;
  e.tag = tag;
  e.type = type;
  e.count = values.size();
  const std::size_t each = TypeBytes(type);
  e.value.resize(values.size() * each);
  for (std::size_t k = 0; k < values.size(); ++k) {
    PutUnsigned(reinterpret_cast<uint8_t*>(&e.value[k * each]), each, values[k],
                shape.big_endian);
  }
  return e;
}

TiffWriter::TiffWriter(std::string* out, const TiffShape& shape) : out_(out), shape_(shape) {
  const char order = shape.big_endian ? 'M' : 'I';
  uint8_t h[16] = {static_cast<uint8_t>(order), static_cast<uint8_t>(order)};
  PutUnsigned(h + 2, 2, shape.big_tiff ? 43 : 42, shape.big_endian);
  if (shape.big_tiff) PutUnsigned(h + 4, 2, 8, shape.big_endian);
  link_at_ = shape.big_tiff ? 8 : 4;
  out_->assign(reinterpret_cast<const char*>(h), shape.big_tiff ? 16 : 8);
}

uint64_t TiffWriter::Append(const void* bytes, std::size_t n, bool even) {
  if (even && out_->size() % 2 != 0) out_->push_back('\0');
  const uint64_t at = out_->size();
  if (!shape_.big_tiff && at + n > UINT32_MAX) ok_ = false;
  out_->append(static_cast<const char*>(bytes), n);
  return at;
}

void TiffWriter::PutOffset(uint64_t at, uint64_t value) {
  PutUnsigned(reinterpret_cast<uint8_t*>(&(*out_)[static_cast<std::size_t>(at)]),
              FieldBytes(shape_), value, shape_.big_endian);
}

uint64_t TiffWriter::WriteDirectory(TiffDirectory d, bool page) {
  std::stable_sort(d.entries.begin(), d.entries.end(),
                   [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
  d.entries.erase(std::unique(d.entries.begin(), d.entries.end(),
                              [](const TiffEntry& a, const TiffEntry& b) { return a.tag == b.tag; }),
                  d.entries.end());
  const std::size_t field = FieldBytes(shape_);
  std::vector<uint64_t> places(d.entries.size());
  for (std::size_t k = 0; k < d.entries.size(); ++k) {
    const TiffEntry& e = d.entries[k];
    if (e.value.size() <= field) continue;
    const auto key = std::make_pair(e.from, e.value.size());
    const auto done = e.from != 0 ? written_.find(key) : written_.end();
    if (done != written_.end()) {
      places[k] = done->second;
    } else {
      places[k] = Append(e.value.data(), e.value.size());
      if (e.from != 0) written_.emplace(key, places[k]);
    }
  }
  std::string ifd(CountBytes(shape_) + d.entries.size() * EntryBytes(shape_) + field, '\0');
  auto* p = reinterpret_cast<uint8_t*>(&ifd[0]);
  PutUnsigned(p, CountBytes(shape_), d.entries.size(), shape_.big_endian);
  for (std::size_t k = 0; k < d.entries.size(); ++k) {
    const TiffEntry& e = d.entries[k];
    uint8_t* entry = p + CountBytes(shape_) + k * EntryBytes(shape_);
    PutUnsigned(entry, 2, e.tag, shape_.big_endian);
    PutUnsigned(entry + 2, 2, e.type, shape_.big_endian);
    PutUnsigned(entry + 4, field, e.count, shape_.big_endian);
    if (e.value.size() <= field) {
      std::memcpy(entry + 4 + field, e.value.data(), e.value.size());
    } else {
      PutUnsigned(entry + 4 + field, field, places[k], shape_.big_endian);
    }
  }
  const uint64_t at = Append(ifd.data(), ifd.size());
  if (page && ok_) {
    PutOffset(link_at_, at);
    link_at_ = at + ifd.size() - field;
  }
  return at;
}

}  // namespace quadturn::tool
