// Keeping a PNG file's chunks as they pass and putting them back.
#include "png_chunks.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "exif.h"
#include "image_file.h"

namespace quadturn::tool {
namespace {

constexpr std::size_t kSignatureBytes = 8;

uint32_t Checksum(const std::string& chunk) {
  // Over the type and the data.
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(chunk.data()) + 4, static_cast<uInt>(chunk.size() - 8)));
}

// Chunks of the standard whose content does not depend on where pixels lie,
// kept whatever their names say about copying; pHYs, sCAL and eXIf are
// adjusted to the turn.
bool KnownToKeep(const std::string& type) {
  static const char* const kKept[] = {"PLTE", "tRNS", "cHRM", "gAMA", "iCCP", "sBIT",
                                      "sRGB", "cICP", "mDCV", "cLLI", "bKGD", "hIST",
                                      "pHYs", "sPLT", "eXIf", "tIME", "sCAL", "pCAL"};
  return std::any_of(std::begin(kKept), std::end(kKept),
                     [&](const char* k) { return type == k; });
}

// The fifth bit of the fourth letter: safe to copy into a changed image.
bool SafeToCopy(const std::string& type) { return (type[3] & 0x20) != 0; }

// sCAL's data: the unit, then the pixel width and height as text with a
// zero between.
void ExchangeScale(PngChunk* c) {
  const std::string data(reinterpret_cast<const char*>(c->Data()), c->DataSize());
  const std::size_t zero = data.find('\0', 1);
  if (data.empty() || zero == std::string::npos) return;
  const std::string turned = data.substr(0, 1) + data.substr(zero + 1) + '\0' +
                             data.substr(1, zero - 1);
  std::memcpy(c->Data(), turned.data(), turned.size());
}

}  // namespace

PngChunk MakePngChunk(const char* type, const std::string& data, bool after_image) {
  PngChunk c{std::string(8, '\0') + data + std::string(4, '\0'), after_image};
  PutPngU32(reinterpret_cast<uint8_t*>(&c.bytes[0]), static_cast<uint32_t>(data.size()));
  c.bytes.replace(4, 4, type, 4);
  SetPngChecksum(&c);
  return c;
}

void SetPngChecksum(PngChunk* c) {
  PutPngU32(reinterpret_cast<uint8_t*>(&c->bytes[c->bytes.size() - 4]), Checksum(c->bytes));
}

bool PngChunkData(const std::string& png, const char* type, std::string* data) {
  const auto* p = reinterpret_cast<const uint8_t*>(png.data());
  data->clear();
  std::size_t at = kSignatureBytes;
  for (; at + 12 <= png.size(); ) {
    const uint64_t bytes = uint64_t{PngU32(p + at)} + 12;
    if (bytes > png.size() - at) return false;
    if (png.compare(at + 4, 4, type) == 0) data->append(png, at + 8, static_cast<std::size_t>(bytes - 12));
    at += static_cast<std::size_t>(bytes);
  }
  return at == png.size();
}

bool PngChunkTap::Take(const uint8_t* p, std::size_t n, std::string* error) {
  for (std::size_t i = 0; i < n && !ended_;) {
    if (at_ < kSignatureBytes) {
      const std::size_t skip = std::min<uint64_t>(n - i, kSignatureBytes - at_);
      at_ += skip;
      i += skip;
      continue;
    }
    if (header_got_ < sizeof header_) {
      const std::size_t take = std::min(n - i, sizeof header_ - header_got_);
      std::memcpy(header_ + header_got_, p + i, take);
      header_got_ += take;
      at_ += take;
      i += take;
      if (header_got_ < sizeof header_) continue;
      const std::string type(reinterpret_cast<const char*>(header_) + 4, 4);
      body_left_ = uint64_t{PngU32(header_)} + 4;
      keeping_ = type != "IHDR" && type != "IDAT" && type != "IEND";
      if (type == "IDAT") seen_image_ = true;
      if (body_left_ - 4 > 0x7FFFFFFF ||
          (file_size_ >= 0 && at_ + body_left_ > static_cast<uint64_t>(file_size_))) {
        *error = "damaged PNG file (its '" + type + "' chunk says it holds " +
                 std::to_string(body_left_ - 4) + " bytes, more than the file has)";
        return false;
      }
      if (keeping_) {
        if (kept_ + body_left_ + 8 > limit_) {
          *error = "more than " + std::to_string(limit_ >> 20) +
                   " MiB of chunks besides the image (not an image, or a hostile one)";
          return false;
        }
        current_ = PngChunk{std::string(reinterpret_cast<const char*>(header_), 8), seen_image_};
        // Grown as the data comes: a length alone reserves little.
        current_.bytes.reserve(static_cast<std::size_t>(std::min<uint64_t>(body_left_, 1 << 20)) + 8);
      }
    }
    const std::size_t take = static_cast<std::size_t>(std::min<uint64_t>(n - i, body_left_));
    if (keeping_) current_.bytes.append(reinterpret_cast<const char*>(p + i), take);
    body_left_ -= take;
    at_ += take;
    i += take;
    if (body_left_ > 0) continue;
    header_got_ = 0;
    if (keeping_) {
      current_.checksum_ok =
          PngU32(current_.Data() + current_.DataSize()) == Checksum(current_.bytes);
      kept_ += current_.bytes.size();
      chunks_.push_back(std::move(current_));
      keeping_ = false;
    }
    ended_ = std::memcmp(header_ + 4, "IEND", 4) == 0;
  }
  return true;
}

const PngChunk* PngChunkTap::Find(const char* type) const {
  for (const PngChunk& c : chunks_) {
    if (c.Type() == type) return &c;
  }
  return nullptr;
}

void ChunksForTurnedImage(std::vector<PngChunk>* chunks, const Turning& turning, int stored_type,
                          int orientation, std::vector<std::string>* notes) {
  const bool exchange = turning.ExchangesResolutions(stored_type);
  std::map<std::string, int> unsafe, damaged;
  std::vector<PngChunk> kept;
  for (PngChunk& c : *chunks) {
    const std::string type = c.Type();
    if (c.turned) {
      kept.push_back(std::move(c));
      continue;
    }
    if (!c.checksum_ok) {
      ++damaged[type];
      continue;
    }
    if (!KnownToKeep(type) && !SafeToCopy(type)) {
      ++unsafe[type];
      continue;
    }
    bool changed = false;
    if (exchange && type == "pHYs" && c.DataSize() == 9) {
      std::swap_ranges(c.Data(), c.Data() + 4, c.Data() + 4);
      changed = true;
    } else if (exchange && type == "sCAL") {
      ExchangeScale(&c);
      changed = true;
    } else if (type == "eXIf") {
      if ((stored_type & 1) != 0 && !ExchangeExifDimensions(c.Data(), c.DataSize())) {
        notes->push_back("the eXIf chunk's pixel dimensions stay as they were: "
                         "one does not fit the other's type");
      }
      if (ExifOrientation(c.Data(), c.DataSize()) != 0 &&
          ExifOrientation(c.Data(), c.DataSize()) != orientation) {
        SetExifOrientation(c.Data(), c.DataSize(), orientation);
      }
      changed = true;
    }
    if (changed) SetPngChecksum(&c);
    kept.push_back(std::move(c));
  }
  *chunks = std::move(kept);
  auto say = [&](const std::map<std::string, int>& kinds, const char* why) {
    for (const auto& [type, count] : kinds) {
      notes->push_back("dropped " + (count > 1 ? std::to_string(count) + " chunks" : "a chunk") +
                       " '" + type + "' (" + why + ")");
    }
  };
  say(unsafe, "unknown, and marked unsafe to copy into a changed image");
  say(damaged, "damaged: its checksum is wrong");
}

bool TurnedPngStream::Make(std::string encoded, std::vector<PngChunk> kept) {
  encoded_ = std::move(encoded);
  kept_ = std::move(kept);
  const auto* p = reinterpret_cast<const uint8_t*>(encoded_.data());
  // The encoder's chunks: IHDR, perhaps PLTE (the file's own is kept), IDAT,
  // IEND.
  for (std::size_t at = kSignatureBytes; at + 12 <= encoded_.size();) {
    const uint64_t bytes = uint64_t{PngU32(p + at)} + 12;
    if (bytes > encoded_.size() - at) return false;
    const std::string type = encoded_.substr(at + 4, 4);
    if (type == "IHDR" && at == kSignatureBytes) header_end_ = at + static_cast<std::size_t>(bytes);
    if (type == "IDAT") image_.emplace_back(at, static_cast<std::size_t>(bytes));
    if (type == "IEND") {
      end_ = at;
      return header_end_ > 0 && at + bytes == encoded_.size();
    }
    at += static_cast<std::size_t>(bytes);
  }
  return false;
}

}  // namespace quadturn::tool
