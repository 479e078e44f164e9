// Atomic file writing on POSIX systems: open(O_EXCL), fsync, rename.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "atomic_write.h"

namespace qt_tool {
namespace {

// The temporary file being written, for the signal handler to remove.
char g_temporary[4096];
volatile sig_atomic_t g_writing = 0;

void OnSignal(int sig) {
  if (g_writing) unlink(g_temporary);
  signal(sig, SIG_DFL);
  raise(sig);
}

std::string Folder(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

void RemoveTemporaryOnSignal() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, OnSignal);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error) {
  // Keep the mode of a file being replaced; a new file gets the usual one.
  struct stat st;
  const bool replacing = stat(path.c_str(), &st) == 0;
  const mode_t mode = replacing ? (st.st_mode & 07777) : 0666;

  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = Folder(path) + "/.quadturn-" + std::to_string(getpid()) + "-" +
                std::to_string(attempt) + ".tmp";
    if (temporary.size() >= sizeof g_temporary) break;
    std::memcpy(g_temporary, temporary.c_str(), temporary.size() + 1);
    g_writing = 1;
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
    if (fd < 0) g_writing = 0;
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  if (replacing) fchmod(fd, mode);

  int err = 0;
  size_t done = 0;
  while (err == 0 && done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = errno;
    } else if (n == 0) {
      err = EIO;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  if (err == 0 && fsync(fd) != 0) err = errno;
  if (close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && rename(temporary.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    unlink(temporary.c_str());
    *error = std::strerror(err);
  }
  g_writing = 0;
  return err == 0;
}

}  // namespace qt_tool
