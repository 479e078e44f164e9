// Files as the tool sees them, by UTF-8 path, the same on POSIX systems and
// on Windows (where paths become UTF-16 at the system's door): what a path
// names, which file it is, reading one, and writing one whole or not at all.
// "-" is standard input or output.
#ifndef QUADTURN_TOOLS_FILE_SYSTEM_H
#define QUADTURN_TOOLS_FILE_SYSTEM_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quadturn::tool {

enum class FileKind { kMissing, kRegular, kDirectory, kOther };

// What `path` names, following symbolic links.
FileKind KindOf(const std::string& path);

// Which file a path names, whatever the path says: device and inode, or on
// Windows volume and file index. Links are followed. `names` is how many
// hard links the file has (not part of its identity).
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;
  uint64_t names = 1;
  bool operator<(const FileId& o) const {
    return volume != o.volume ? volume < o.volume : index < o.index;
  }
  bool operator==(const FileId& o) const { return volume == o.volume && index == o.index; }
};
bool IdentityOf(const std::string& path, FileId* id);

// The last part of a path, and the folder it is in ("." for none). Only "/"
// separates on POSIX systems; "\" and "/" do on Windows.
std::string BaseName(const std::string& path);
std::string FolderOf(const std::string& path);

// Bytes read whole, in memory not cleared first.
struct WholeInput {
  std::unique_ptr<uint8_t[]> bytes;
  std::size_t size = 0;
};

// What a read came to: every byte asked for, the end of the data before
// them, or an error (with a message).
enum class ReadResult { kOk, kEnd, kError };

class Input {
 public:
  explicit Input(int64_t size) : size_(size) {}
  virtual ~Input() = default;
  // Reads exactly n bytes.
  ReadResult Read(void* to, std::size_t n, std::string* error);
  // Reads up to n bytes, fewer only at the end of the data; *got says how
  // many. False on an error.
  bool ReadUpTo(void* to, std::size_t n, std::size_t* got, std::string* error);
  // Reads everything left into `to`.
  bool ReadToEnd(WholeInput* to, std::string* error);
  // Makes the next reads give these bytes first (bytes read to recognise
  // the file, given back).
  void PutBack(const uint8_t* bytes, std::size_t n);
  // Skips n bytes (reading them where the input cannot seek).
  ReadResult Skip(uint64_t n, std::string* error);
  // The input's size in bytes when known (a regular file), otherwise -1.
  int64_t Size() const { return size_; }
  // Whether bytes can be read at any offset (a regular file), and such a
  // read of up to n bytes: how many (fewer only at the end), or -1 with
  // `error` set. For reading a file by offsets only, not mixed with the
  // reads in order above (on Windows it moves the file's position).
  virtual bool CanReadAt() const { return false; }
  int64_t ReadAt(uint64_t offset, void* to, std::size_t n, std::string* error);

 protected:
  // Reads 1 to n bytes: how many, 0 at the end of the data, or -1 with
  // `error` set; and the same at an offset, where CanReadAt.
  virtual int64_t ReadSome(void* to, std::size_t n, std::string* error) = 0;
  virtual int64_t ReadSomeAt(uint64_t offset, void* to, std::size_t n, std::string* error);

 private:
  int64_t size_;
  std::vector<uint8_t> put_back_;
  std::size_t put_back_at_ = 0;
};

// Opens a regular file (following links) or, for "-", standard input.
// Anything else (a folder, a device, a pipe by name) is refused without
// reading from it. With `to_replace`, the file is to be replaced by its
// turned image: the input holds an advisory lock on it until destroyed, so
// that runs turning one file at once take turns (POSIX systems; on Windows
// the open file cannot be replaced by another run meanwhile).
std::unique_ptr<Input> OpenInput(const std::string& path, std::string* error,
                                 bool to_replace = false);

// Reads bytes held in memory (kept by the caller while the input lives), by
// offsets too.
std::unique_ptr<Input> InputOfBytes(const uint8_t* bytes, std::size_t size);

class Output {
 public:
  virtual ~Output() = default;  // discards what was written unless committed
  // Writes all n bytes.
  bool Write(const void* from, std::size_t n, std::string* error);
  // Makes the written bytes the file's content, all at once.
  virtual bool Commit(std::string* error) = 0;

 protected:
  // Writes 1 to n bytes: how many, or -1 with `error` set.
  virtual int64_t WriteSome(const void* from, std::size_t n, std::string* error) = 0;
};

// Starts writing `path`, or standard output for "-". A symbolic link is
// followed to the file it names, which is replaced, the link kept. Anything
// that is not a regular file (a folder, a device) is refused. The bytes go to
// a new file beside the target that has no name until Commit gives it the
// target's (where the file system cannot make one without a name, a hidden
// temporary name); a file replaced keeps its permissions (less set-user-ID
// and set-group-ID), its owner and group where this user may set them, and
// on Windows its security descriptor and attributes.
std::unique_ptr<Output> CreateOutput(const std::string& path, std::string* error);

// Removes a temporary file left by a write that a signal interrupted
// (installed once by main where there are such signals).
void RemoveTemporaryOnSignal();

// Whether standard error is a terminal (for the progress line), and standard
// output (where no image is written).
bool StderrIsTerminal();
bool StdoutIsTerminal();

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_FILE_SYSTEM_H
