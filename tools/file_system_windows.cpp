// Files on Windows: paths go to the system as UTF-16 (the *W calls), so
// names outside the ANSI code page work; CreateFileW and GetFileType so that
// a path is checked as the file actually opened; CREATE_NEW,
// FlushFileBuffers and MoveFileExW for whole-or-nothing writes.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "file_system_platform.h"

namespace quadturn::tool {
namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
  return w;
}

std::string LastError() {
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, text, sizeof text, nullptr);
  std::string s(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
  return s;
}

// Opens what a path names for its attributes only (folders too).
HANDLE OpenForQuery(const std::wstring& path) {
  return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

class AtomicOutput : public Output {
 public:
  AtomicOutput(std::wstring target, std::wstring temporary, HANDLE h, bool replacing)
      : target_(std::move(target)), temporary_(std::move(temporary)), h_(h),
        replacing_(replacing) {}
  ~AtomicOutput() override {
    if (h_ != INVALID_HANDLE_VALUE) {
      CloseHandle(h_);
      DeleteFileW(temporary_.c_str());
    }
  }
  bool Commit(std::string* error) override {
    bool ok = FlushFileBuffers(h_) != 0;
    if (!ok) *error = LastError();
    CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    // A file replaced keeps its own security descriptor, attributes and
    // creation time (ReplaceFileW carries them over to the new content).
    if (ok && !(replacing_ ? ReplaceFileW(target_.c_str(), temporary_.c_str(), nullptr,
                                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                           : MoveFileExW(temporary_.c_str(), target_.c_str(),
                                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))) {
      ok = false;
      *error = LastError();
    }
    if (!ok) DeleteFileW(temporary_.c_str());
    return ok;
  }

 protected:
  int64_t WriteSome(const void* from, std::size_t n, std::string* error) override {
    return WriteSomeTo(reinterpret_cast<Channel>(h_), from, n, error);
  }

 private:
  std::wstring target_, temporary_;
  HANDLE h_;
  bool replacing_;
};

}  // namespace

FileKind KindOf(const std::string& path) {
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) {
    // Device names (NUL, CON) have no attributes but open.
    HANDLE h = OpenForQuery(Wide(path));
    if (h == INVALID_HANDLE_VALUE) return FileKind::kMissing;
    CloseHandle(h);
    return FileKind::kOther;
  }
  if ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileKind::kDirectory;
  HANDLE h = OpenForQuery(Wide(path));
  if (h == INVALID_HANDLE_VALUE) return FileKind::kRegular;
  const DWORD type = GetFileType(h);
  CloseHandle(h);
  return type == FILE_TYPE_DISK ? FileKind::kRegular : FileKind::kOther;
}

namespace {

// Which file an open handle is.
bool IdentityOfHandle(HANDLE h, FileId* id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return false;
  id->volume = info.dwVolumeSerialNumber;
  id->index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  id->names = info.nNumberOfLinks;
  return true;
}

}  // namespace

bool IdentityOf(const std::string& path, FileId* id) {
  HANDLE h = OpenForQuery(Wide(path));
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = IdentityOfHandle(h, id);
  CloseHandle(h);
  return ok;
}

namespace {

// Locks the whole of the open file h for this process; another run replacing
// the same file waits here until it is done.
bool LockWhole(HANDLE h) {
  OVERLAPPED at{};
  return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

// Whether the open handle h is the file `path` names now.
bool SameFile(HANDLE h, const std::string& path) {
  FileId open, named;
  return IdentityOfHandle(h, &open) && IdentityOf(path, &named) && open == named;
}

}  // namespace

std::unique_ptr<Input> OpenInput(const std::string& path, std::string* error,
                                 bool to_replace) {
  if (path == "-") {
    return ChannelInput(StandardInputChannel(), -1, false);
  }
  // A file to be replaced stays open, locked, until its turned image has
  // its name: it is shared for deletion so that the replacement can go
  // through while this handle is open. Another run's replacement may have
  // given the name to a new file meanwhile; that one is then opened.
  const DWORD share = to_replace ? FILE_SHARE_READ | FILE_SHARE_DELETE : FILE_SHARE_READ;
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  for (int hops = 0; to_replace && h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_DISK;
       ++hops) {
    if (!LockWhole(h)) {
      *error = "cannot read: " + LastError();
      CloseHandle(h);
      return nullptr;
    }
    if (SameFile(h, path)) break;
    CloseHandle(h);
    if (hops == 100) {
      *error = "cannot read: the file keeps being replaced";
      return nullptr;
    }
    h = CreateFileW(Wide(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD a = GetFileAttributesW(Wide(path).c_str());
    *error = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0
                 ? "cannot read: is a folder"
                 : "cannot read: " + LastError();
    return nullptr;
  }
  LARGE_INTEGER size;
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size)) {
    CloseHandle(h);
    *error = "cannot read: not a regular file";
    return nullptr;
  }
  return ChannelInput(reinterpret_cast<Channel>(h), size.QuadPart, true);
}

std::unique_ptr<Output> CreateOutput(const std::string& path, std::string* error) {
  if (path == "-") return StandardOutput();
  std::wstring target = Wide(path);
  const FileKind kind = KindOf(path);
  if (kind == FileKind::kDirectory) {
    *error = "is a folder";
    return nullptr;
  }
  if (kind == FileKind::kOther) {
    *error = "not a regular file; not replaced";
    return nullptr;
  }
  if (kind == FileKind::kRegular) {
    // Through a link, the file it leads to is the one replaced.
    HANDLE h = OpenForQuery(target);
    if (h != INVALID_HANDLE_VALUE) {
      wchar_t final_path[32768];
      const DWORD n = GetFinalPathNameByHandleW(h, final_path, 32768, FILE_NAME_NORMALIZED);
      if (n > 0 && n < 32768) target.assign(final_path, n);
      CloseHandle(h);
    }
  }
  const std::size_t slash = target.find_last_of(L"/\\");
  const std::wstring folder = slash == std::wstring::npos ? L"." : target.substr(0, slash);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring temporary = folder + L"\\" + Wide(TemporaryLeaf(attempt));
    HANDLE h = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      return std::make_unique<AtomicOutput>(target, temporary, h, kind == FileKind::kRegular);
    }
    if (GetLastError() != ERROR_FILE_EXISTS) {
      *error = LastError();
      return nullptr;
    }
  }
  *error = "cannot make a temporary file";
  return nullptr;
}

const char kPathSeparators[] = "/\\";
unsigned long ProcessNumber() { return GetCurrentProcessId(); }
Channel StandardInputChannel() { return reinterpret_cast<Channel>(GetStdHandle(STD_INPUT_HANDLE)); }
Channel StandardOutputChannel() {
  return reinterpret_cast<Channel>(GetStdHandle(STD_OUTPUT_HANDLE));
}

// A pipe whose writer has gone reads as the end of the data.
int64_t ReadSomeFrom(Channel from, void* to, std::size_t n, std::string* error) {
  const DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(from), to, want, &got, nullptr) &&
      GetLastError() != ERROR_BROKEN_PIPE) {
    *error = "cannot read: " + LastError();
    return -1;
  }
  return got;
}

int64_t ReadSomeAt(Channel from, uint64_t offset, void* to, std::size_t n, std::string* error) {
  const DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(from), to, want, &got, &at) &&
      GetLastError() != ERROR_HANDLE_EOF) {
    *error = "cannot read: " + LastError();
    return -1;
  }
  return got;
}

int64_t WriteSomeTo(Channel to, const void* from, std::size_t n, std::string* error) {
  const DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
  DWORD done = 0;
  if (!WriteFile(reinterpret_cast<HANDLE>(to), from, want, &done, nullptr) || done == 0) {
    *error = LastError();
    return -1;
  }
  return done;
}

void CloseChannel(Channel c) { CloseHandle(reinterpret_cast<HANDLE>(c)); }

void RemoveTemporaryOnSignal() {}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

}  // namespace quadturn::tool
