// What reading and writing files comes to on every system: whole reads and
// writes from the systems' partial ones, skipping, path parts, temporary
// names and standard output.
#include <algorithm>
#include <cstring>

#include "file_system_platform.h"

namespace quadturn::tool {

bool Input::ReadUpTo(void* to, std::size_t n, std::size_t* got, std::string* error) {
  auto* p = static_cast<uint8_t*>(to);
  *got = 0;
  const std::size_t given = std::min(n, put_back_.size() - put_back_at_);
  if (given > 0) {
    std::memcpy(p, put_back_.data() + put_back_at_, given);
    put_back_at_ += given;
    *got = given;
  }
  while (*got < n) {
    const int64_t some = ReadSome(p + *got, n - *got, error);
    if (some < 0) return false;
    if (some == 0) break;
    *got += static_cast<std::size_t>(some);
  }
  return true;
}

ReadResult Input::Read(void* to, std::size_t n, std::string* error) {
  std::size_t got = 0;
  if (!ReadUpTo(to, n, &got, error)) return ReadResult::kError;
  return got == n ? ReadResult::kOk : ReadResult::kEnd;
}

bool Input::ReadToEnd(WholeInput* to, std::string* error) {
  // A regular file's size is known: one read of all of it, and one more to
  // find the end.
  std::size_t room = Size() >= 0 ? static_cast<std::size_t>(Size()) + 1 : std::size_t{1} << 20;
  to->bytes.reset(new uint8_t[room]);
  to->size = 0;
  for (;;) {
    std::size_t got = 0;
    if (!ReadUpTo(to->bytes.get() + to->size, room - to->size, &got, error)) return false;
    to->size += got;
    if (to->size < room) return true;
    std::unique_ptr<uint8_t[]> larger(new uint8_t[2 * room]);
    std::memcpy(larger.get(), to->bytes.get(), to->size);
    to->bytes = std::move(larger);
    room *= 2;
  }
}

int64_t Input::ReadAt(uint64_t offset, void* to, std::size_t n, std::string* error) {
  auto* p = static_cast<uint8_t*>(to);
  std::size_t got = 0;
  while (got < n) {
    const int64_t some = ReadSomeAt(offset + got, p + got, n - got, error);
    if (some < 0) return -1;
    if (some == 0) break;
    got += static_cast<std::size_t>(some);
  }
  return static_cast<int64_t>(got);
}

int64_t Input::ReadSomeAt(uint64_t, void*, std::size_t, std::string* error) {
  *error = "cannot read at an offset";
  return -1;
}

void Input::PutBack(const uint8_t* bytes, std::size_t n) {
  put_back_.assign(bytes, bytes + n);
  put_back_at_ = 0;
}

ReadResult Input::Skip(uint64_t n, std::string* error) {
  uint8_t chunk[65536];
  while (n > 0) {
    const std::size_t step = static_cast<std::size_t>(std::min<uint64_t>(n, sizeof chunk));
    const ReadResult r = Read(chunk, step, error);
    if (r != ReadResult::kOk) return r;
    n -= step;
  }
  return ReadResult::kOk;
}

bool Output::Write(const void* from, std::size_t n, std::string* error) {
  const auto* p = static_cast<const uint8_t*>(from);
  while (n > 0) {
    const int64_t done = WriteSome(p, n, error);
    if (done < 0) return false;
    p += done;
    n -= static_cast<std::size_t>(done);
  }
  return true;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of(kPathSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of(kPathSeparators);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string TemporaryLeaf(int attempt) {
  return ".quadturn-" + std::to_string(ProcessNumber()) + "-" + std::to_string(attempt) +
         ".tmp";
}

namespace {

class ChannelReader : public Input {
 public:
  ChannelReader(Channel from, int64_t size, bool owned)
      : Input(size), from_(from), owned_(owned) {}
  ~ChannelReader() override {
    if (owned_) CloseChannel(from_);
  }
  // A file opened by name: standard input may be a pipe.
  bool CanReadAt() const override { return owned_ && Size() >= 0; }

 protected:
  int64_t ReadSome(void* to, std::size_t n, std::string* error) override {
    return ReadSomeFrom(from_, to, n, error);
  }
  int64_t ReadSomeAt(uint64_t offset, void* to, std::size_t n, std::string* error) override {
    return quadturn::tool::ReadSomeAt(from_, offset, to, n, error);
  }

 private:
  Channel from_;
  bool owned_;
};

class MemoryReader : public Input {
 public:
  MemoryReader(const uint8_t* bytes, std::size_t size)
      : Input(static_cast<int64_t>(size)), bytes_(bytes), size_(size) {}
  bool CanReadAt() const override { return true; }

 protected:
  int64_t ReadSome(void* to, std::size_t n, std::string* error) override {
    const int64_t got = ReadSomeAt(at_, to, n, error);
    at_ += static_cast<uint64_t>(got);
    return got;
  }
  int64_t ReadSomeAt(uint64_t offset, void* to, std::size_t n, std::string*) override {
    if (offset >= size_) return 0;
    const std::size_t count = std::min<std::size_t>(n, static_cast<std::size_t>(size_ - offset));
    std::memcpy(to, bytes_ + offset, count);
    return static_cast<int64_t>(count);
  }

 private:
  const uint8_t* bytes_;
  std::size_t size_;
  uint64_t at_ = 0;
};

class StandardOutputFile : public Output {
 public:
  bool Commit(std::string*) override { return true; }

 protected:
  int64_t WriteSome(const void* from, std::size_t n, std::string* error) override {
    return WriteSomeTo(StandardOutputChannel(), from, n, error);
  }
};

}  // namespace

std::unique_ptr<Input> ChannelInput(Channel from, int64_t size, bool owned) {
  return std::make_unique<ChannelReader>(from, size, owned);
}

std::unique_ptr<Output> StandardOutput() { return std::make_unique<StandardOutputFile>(); }

std::unique_ptr<Input> InputOfBytes(const uint8_t* bytes, std::size_t size) {
  return std::make_unique<MemoryReader>(bytes, size);
}

}  // namespace quadturn::tool
