// A PNG file's chunks other than the image data, kept byte for byte as the
// file is read, and put back around a newly encoded image: each stays where
// it was (before PLTE, before or after the image data) and in its order.
// What a turn changes is changed (pHYs and sCAL exchanged, eXIf's pixel
// dimensions exchanged, its orientation set after upright; an animation's
// frames: png_frames.h), and what cannot stay is dropped with a note:
// unknown chunks marked unsafe to copy once the image changes, and chunks
// whose checksum is wrong.
#ifndef QUADTURN_TOOLS_PNG_CHUNKS_H
#define QUADTURN_TOOLS_PNG_CHUNKS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quadturn::tool {

struct PngChunk {
  std::string bytes;  // length, type, data and checksum, as in the file
  bool after_image = false;  // behind the image data
  bool checksum_ok = true;
  bool turned = false;  // made for the turned image: kept as it is
  std::string Type() const { return bytes.substr(4, 4); }
  const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(bytes.data()) + 8; }
  uint8_t* Data() { return reinterpret_cast<uint8_t*>(&bytes[8]); }
  std::size_t DataSize() const { return bytes.size() - 12; }
};

// PNG's big-endian numbers.
inline uint32_t PngU32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
inline void PutPngU32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (24 - 8 * k));
}

// A chunk of `type` holding `data`, and a chunk's checksum set again after
// its data changed.
PngChunk MakePngChunk(const char* type, const std::string& data, bool after_image);
void SetPngChecksum(PngChunk* c);

// The data of every chunk of `type` in a PNG stream, one after the other;
// false where the stream's chunks do not add up.
bool PngChunkData(const std::string& png, const char* type, std::string* data);

// Watches the bytes of a file as the decoder reads them, from the
// signature on, and keeps every chunk but IHDR, IDAT and IEND.
class PngChunkTap {
 public:
  // `file_size` is -1 where it is not known.
  PngChunkTap(std::size_t limit, int64_t file_size) : limit_(limit), file_size_(file_size) {}
  // False with the reason once the chunks kept pass the limit.
  bool Take(const uint8_t* p, std::size_t n, std::string* error);
  std::vector<PngChunk>& chunks() { return chunks_; }
  const PngChunk* Find(const char* type) const;

 private:
  std::size_t limit_, kept_ = 0;
  int64_t file_size_;
  uint64_t at_ = 0;           // bytes taken
  uint8_t header_[8] = {};
  std::size_t header_got_ = 0;
  uint64_t body_left_ = 0;    // data and checksum of the chunk being read
  bool keeping_ = false, seen_image_ = false, ended_ = false;
  PngChunk current_;
  std::vector<PngChunk> chunks_;
};

struct Turning;

// Makes the kept chunks those of the image given RotateFlip's
// `stored_type`, its EXIF orientation set to `orientation` where it changed,
// with a note for each kind dropped.
void ChunksForTurnedImage(std::vector<PngChunk>* chunks, const Turning& turning, int stored_type,
                          int orientation, std::vector<std::string>* notes);

// The turned file from the encoder's output and the kept chunks: the
// signature, the encoder's IHDR, the kept chunks before the image data, the
// encoder's IDAT, the kept chunks after it and IEND; written piece by piece,
// never copied whole. False (from Make) where the encoder's output is not a
// PNG stream.
class TurnedPngStream {
 public:
  bool Make(std::string encoded, std::vector<PngChunk> kept);
  // Calls write(bytes, n) for each piece in order; false as soon as it does.
  template <typename Sink>
  bool Write(Sink write) const {
    if (!write(encoded_.data(), header_end_)) return false;
    for (const PngChunk& c : kept_) {
      if (!c.after_image && !write(c.bytes.data(), c.bytes.size())) return false;
    }
    for (const auto& [at, n] : image_) {
      if (!write(encoded_.data() + at, n)) return false;
    }
    for (const PngChunk& c : kept_) {
      if (c.after_image && !write(c.bytes.data(), c.bytes.size())) return false;
    }
    return write(encoded_.data() + end_, encoded_.size() - end_);
  }

 private:
  std::string encoded_;
  std::vector<PngChunk> kept_;
  std::size_t header_end_ = 0, end_ = 0;  // signature and IHDR; IEND
  std::vector<std::pair<std::size_t, std::size_t>> image_;  // IDAT chunks
};

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_PNG_CHUNKS_H
