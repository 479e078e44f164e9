// Files on POSIX systems: open and fstat so that a path is checked as the
// file actually opened, symbolic links resolved by hand so that a dangling
// link still names where to write, an unnamed file (O_TMPFILE, else a
// hidden one made with O_EXCL), fsync and rename for whole-or-nothing
// writes, and flock so that runs replacing one file take turns.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "file_system_platform.h"

// Files past 2 GiB are ordinary: 32-bit builds use 64-bit file offsets
// (_FILE_OFFSET_BITS=64, set for every build by CMake), or fstat fails on them.
static_assert(sizeof(off_t) == 8, "64-bit file offsets are needed");

namespace quadturn::tool {
namespace {

std::string Reason(int err) { return std::strerror(err); }

// The temporary file being written, for the signal handler to remove.
char g_temporary[PATH_MAX + 64];
volatile sig_atomic_t g_writing = 0;

void OnSignal(int sig) {
  if (g_writing) unlink(g_temporary);
  signal(sig, SIG_DFL);
  raise(sig);
}

// The attempt'th hidden temporary name beside `target`, noted for the
// signal handler; false when it is too long to note.
bool TemporaryName(const std::string& target, int attempt, std::string* name) {
  *name = FolderOf(target) + "/" + TemporaryLeaf(attempt);
  if (name->size() >= sizeof g_temporary) return false;
  std::memcpy(g_temporary, name->c_str(), name->size() + 1);
  return true;
}

// Flushes a folder's entries to the disk; 0, or the error. File systems
// that cannot flush a folder (EINVAL) keep their entries their own way.
int SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int err = fsync(fd) != 0 && errno != EINVAL ? errno : 0;
  close(fd);
  return err;
}

// The turned image on its way to `target`: a file without a name (no
// `temporary` yet) that Commit links under a temporary name once complete
// and renames over the target, or a hidden temporary file renamed over it.
class AtomicOutput : public Output {
 public:
  AtomicOutput(std::string target, std::string temporary, int fd)
      : target_(std::move(target)), temporary_(std::move(temporary)), fd_(fd) {}
  ~AtomicOutput() override {
    if (fd_ >= 0) {
      close(fd_);
      if (!temporary_.empty()) unlink(temporary_.c_str());
      g_writing = 0;
    }
  }
  bool Commit(std::string* error) override {
    int err = 0;
    if (fsync(fd_) != 0) err = errno;
    if (err == 0 && temporary_.empty()) err = GiveName();
    if (close(fd_) != 0 && err == 0) err = errno;
    fd_ = -1;
    if (err == 0 && rename(temporary_.c_str(), target_.c_str()) != 0) err = errno;
    if (err != 0) {
      if (!temporary_.empty()) unlink(temporary_.c_str());
      *error = Reason(err);
      g_writing = 0;
      return false;
    }
    g_writing = 0;
    // The rename is an entry in the folder: only once the folder is on the
    // disk does a crash leave the new file under its name.
    err = SyncFolder(FolderOf(target_));
    if (err != 0) {
      *error = "the file has its name, but its folder could not be written to the disk (" +
               Reason(err) + ")";
    }
    return err == 0;
  }

 protected:
  int64_t WriteSome(const void* from, std::size_t n, std::string* error) override {
    return WriteSomeTo(fd_, from, n, error);
  }

 private:
  // Links the complete unnamed file under a fresh temporary name (through
  // /proc, or by descriptor where the process may).
  int GiveName() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name;
      if (!TemporaryName(target_, attempt, &name)) return ENAMETOOLONG;
      g_writing = 1;
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
          linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) {
        temporary_ = name;
        return 0;
      }
      g_writing = 0;
      if (errno != EEXIST) return errno;
    }
    return EEXIST;
  }

  std::string target_, temporary_;
  int fd_;
};

// Follows symbolic links from `path` to the name of the file they lead to,
// which need not exist. False for a loop.
bool FollowLinks(std::string path, std::string* resolved) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *resolved = path;
      return true;
    }
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) return false;
    target[n] = '\0';
    path = target[0] == '/' ? std::string(target) : FolderOf(path) + "/" + target;
  }
  return false;
}

}  // namespace

FileKind KindOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return FileKind::kMissing;
  if (S_ISREG(st.st_mode)) return FileKind::kRegular;
  if (S_ISDIR(st.st_mode)) return FileKind::kDirectory;
  return FileKind::kOther;
}

bool IdentityOf(const std::string& path, FileId* id) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  id->volume = static_cast<uint64_t>(st.st_dev);
  id->index = static_cast<uint64_t>(st.st_ino);
  id->names = static_cast<uint64_t>(st.st_nlink);
  return true;
}

std::unique_ptr<Input> OpenInput(const std::string& path, std::string* error,
                                 bool to_replace) {
  if (path == "-") return ChannelInput(StandardInputChannel(), -1, false);
  // Non-blocking, so that opening a pipe by name cannot wait for a writer;
  // what is opened is then checked to be a regular file.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot read: " + Reason(errno);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *error = "cannot read: " + Reason(errno);
    close(fd);
    return nullptr;
  }
  // Another run replacing the file holds its lock until the new file has
  // the name; the name may then lead to that new file, which is the one to
  // lock and read.
  for (int hops = 0; to_replace && S_ISREG(st.st_mode); ++hops) {
    struct stat now;
    if (flock(fd, LOCK_EX) != 0 || stat(path.c_str(), &now) != 0) {
      *error = "cannot read: " + Reason(errno);
      close(fd);
      return nullptr;
    }
    if (now.st_dev == st.st_dev && now.st_ino == st.st_ino) break;
    if (hops == 100) {
      *error = "cannot read: the file keeps being replaced";
      close(fd);
      return nullptr;
    }
    close(fd);
    fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || fstat(fd, &st) != 0) {
      *error = "cannot read: " + Reason(errno);
      if (fd >= 0) close(fd);
      return nullptr;
    }
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    *error = S_ISDIR(st.st_mode) ? "cannot read: is a folder"
                                 : "cannot read: not a regular file";
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return ChannelInput(fd, static_cast<int64_t>(st.st_size), true);
}

std::unique_ptr<Output> CreateOutput(const std::string& path, std::string* error) {
  if (path == "-") return StandardOutput();
  std::string target;
  if (!FollowLinks(path, &target)) {
    *error = "too many levels of symbolic links";
    return nullptr;
  }
  struct stat st;
  const bool replacing = stat(target.c_str(), &st) == 0;
  if (replacing && !S_ISREG(st.st_mode)) {
    *error = S_ISDIR(st.st_mode) ? "is a folder" : "not a regular file; not replaced";
    return nullptr;
  }
  // A file replaced keeps its permissions, but never set-user-ID,
  // set-group-ID or sticky: the turned image is a new file. Its owner and
  // group are kept where this user may set them (a change of owner may
  // clear mode bits, so the mode is set after).
  const mode_t mode = replacing ? (st.st_mode & 0777) : 0666;
  auto made = [&](int fd, std::string temporary) -> std::unique_ptr<Output> {
    if (replacing) {
      // Where the owner cannot be given away the group alone may be; where
      // neither can, the file stays this user's.
      if (fchown(fd, st.st_uid, st.st_gid) != 0) {
        (void)!fchown(fd, static_cast<uid_t>(-1), st.st_gid);
      }
      fchmod(fd, mode);
    }
    return std::make_unique<AtomicOutput>(target, std::move(temporary), fd);
  };
#ifdef O_TMPFILE
  // Without a name until complete: a run killed meanwhile leaves nothing.
  const int unnamed = open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (unnamed >= 0) return made(unnamed, "");
#endif
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temporary;
    if (!TemporaryName(target, attempt, &temporary)) break;
    g_writing = 1;
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return made(fd, temporary);
    g_writing = 0;
    if (errno != EEXIST) {
      *error = Reason(errno);
      return nullptr;
    }
  }
  *error = "cannot make a temporary file";
  return nullptr;
}

const char kPathSeparators[] = "/";
unsigned long ProcessNumber() { return static_cast<unsigned long>(getpid()); }
Channel StandardInputChannel() { return STDIN_FILENO; }
Channel StandardOutputChannel() { return STDOUT_FILENO; }

int64_t ReadSomeFrom(Channel from, void* to, std::size_t n, std::string* error) {
  for (;;) {
    const ssize_t got = read(static_cast<int>(from), to, n);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    *error = "cannot read: " + Reason(errno);
    return -1;
  }
}

int64_t ReadSomeAt(Channel from, uint64_t offset, void* to, std::size_t n, std::string* error) {
  for (;;) {
    const ssize_t got = pread(static_cast<int>(from), to, n, static_cast<off_t>(offset));
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    *error = "cannot read: " + Reason(errno);
    return -1;
  }
}

int64_t WriteSomeTo(Channel to, const void* from, std::size_t n, std::string* error) {
  for (;;) {
    const ssize_t done = write(static_cast<int>(to), from, n);
    if (done > 0) return done;
    if (done < 0 && errno == EINTR) continue;
    *error = Reason(done < 0 ? errno : EIO);
    return -1;
  }
}

void CloseChannel(Channel c) { close(static_cast<int>(c)); }

void RemoveTemporaryOnSignal() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, OnSignal);
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }
bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

}  // namespace quadturn::tool
