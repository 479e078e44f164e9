// Fuzz target: any bytes as an image file given to the tool. The last input
// byte picks the verb (its low three bits: RotateFlip's types 1-7, and 0
// for upright), with its top bit TIFF pages changed by their Orientation tag
// (not upright), and with the next bit a file read by offsets (as a file by
// name) rather than in order (as standard input); the bytes before it are
// the file. On every input: a refusal says why; a file turned is written
// whole, read again by the tool, and undoing the change and then doing it
// once more gives the same file byte for byte (nothing lost on the way); a
// file made upright is upright.
#include <cstdint>
#include <cstring>
#include <string>

#include "fault_hooks.h"
#include "image_file.h"
#include "orientation.h"

namespace {

namespace tool = quadturn::tool;
using quadturn::fuzz::Check;

class BytesInput : public tool::Input {
 public:
  BytesInput(const uint8_t* data, std::size_t size, bool by_offsets)
      : Input(static_cast<int64_t>(size)), data_(data), size_(size), by_offsets_(by_offsets) {}
  bool CanReadAt() const override { return by_offsets_; }

 protected:
  int64_t ReadSomeAt(uint64_t offset, void* to, std::size_t n, std::string*) override {
    if (offset >= size_) return 0;
    const std::size_t count = n < size_ - offset ? n : static_cast<std::size_t>(size_ - offset);
    std::memcpy(to, data_ + offset, count);
    return static_cast<int64_t>(count);
  }
  int64_t ReadSome(void* to, std::size_t n, std::string* error) override {
    const int64_t got = ReadSomeAt(at_, to, n, error);
    at_ += static_cast<uint64_t>(got);
    return got;
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  uint64_t at_ = 0;
  bool by_offsets_;
};

class BytesOutput : public tool::Output {
 public:
  bool Commit(std::string*) override { return true; }
  std::string bytes;

 protected:
  int64_t WriteSome(const void* from, std::size_t n, std::string*) override {
    bytes.append(static_cast<const char*>(from), n);
    return static_cast<int64_t>(n);
  }
};

// The file given RotateFlip's `type` (or made upright, -1) and written, or
// false on a refusal; *unchanged where it was upright already.
bool Turn(const uint8_t* data, std::size_t size, int type, bool tag, bool by_offsets,
          std::string* file, bool* unchanged = nullptr, uint64_t max_page_bytes = 1u << 20,
          bool* trimmed = nullptr) {
  BytesInput in(data, size, by_offsets);
  std::string error;
  const tool::Turning turning{type < 0 ? 0 : type, type < 0, false, tag, max_page_bytes};
  const auto turned = tool::TurnImageFile(in, turning, &error);
  if (turned == nullptr) {
    Check(!error.empty(), "a refusal says why");
    return false;
  }
  if (unchanged != nullptr) *unchanged = turned->unchanged;
  if (trimmed != nullptr) {
    for (const std::string& note : turned->notes) {
      *trimmed = *trimmed || note.find("trimmed") != std::string::npos ||
                 note.find("damaged data") != std::string::npos;
    }
  }
  BytesOutput out;
  Check(turned->WriteTo(out, &error), "a turned file is written");
  *file = std::move(out.bytes);
  return true;
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int type = data[size - 1] & 7;
  const bool tag = (data[size - 1] & 0x80) != 0 && type != 0;
  const bool by_offsets = (data[size - 1] & 0x40) != 0;
  std::string once, back, again;
  // Pages of at most 1 MiB: a few bytes can ask for a large page, and
  // decoding one would take the time of thousands of small files. Turned,
  // a page can take up to eight times its bytes (a column of 1-bit pixels
  // becomes a row): what was written is read back under a limit that
  // allows it.
  constexpr uint64_t kBack = 9u << 20;
  if (type == 0) {
    bool unchanged = false;
    if (!Turn(data, size - 1, -1, false, by_offsets, &once, &unchanged)) return 0;
    Check(Turn(Bytes(once), once.size(), -1, false, !by_offsets, &again, &unchanged, kBack),
          "the tool reads what it made upright");
    Check(unchanged, "what was made upright is upright");
    return 0;
  }
  // What was trimmed (a JPEG thumbnail's partial blocks), or made up where
  // the data was damaged, is said, and cannot come back as it was.
  bool trimmed = false;
  if (!Turn(data, size - 1, type, tag, by_offsets, &once, nullptr, 1u << 20, &trimmed)) return 0;
  Check(Turn(Bytes(once), once.size(), tool::Inverse(type), tag, !by_offsets, &back, nullptr,
             kBack),
        "the tool reads what it wrote");
  Check(Turn(Bytes(back), back.size(), type, tag, by_offsets, &again, nullptr, kBack),
        "the tool reads what it turned back");
  // A JPEG's DCT coefficients that its Huffman coding cannot carry (out of
  // range in a damaged or hand-made stream) are carried as they can be by
  // the first encode (jpegtran does the same; the pixels shown are the
  // same): from then on the file must come back byte for byte.
  const bool jpeg = size > 2 && data[0] == 0xFF && data[1] == 0xD8;
  if (jpeg && !trimmed && again != once) {
    std::string back_again, twice;
    Check(Turn(Bytes(again), again.size(), tool::Inverse(type), tag, !by_offsets, &back_again,
               nullptr, kBack) &&
              Turn(Bytes(back_again), back_again.size(), type, tag, by_offsets, &twice,
                   nullptr, kBack),
          "the tool reads what it turned again");
    once = std::move(again);
    again = std::move(twice);
  }
  Check(trimmed || again == once, "turning back and forward again gives the same file");
  return 0;
}
