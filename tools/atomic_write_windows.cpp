// Atomic file writing on Windows: CREATE_NEW, FlushFileBuffers, MoveFileEx.
#include <windows.h>

#include <string>

#include "atomic_write.h"

namespace qt_tool {
namespace {

std::string LastError() {
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, text, sizeof text, nullptr);
  std::string s(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
  return s;
}

std::string Folder(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

void RemoveTemporaryOnSignal() {}

bool IsDirectory(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error) {
  std::string temporary;
  HANDLE f = INVALID_HANDLE_VALUE;
  for (int attempt = 0; f == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
    temporary = Folder(path) + "\\.quadturn-" + std::to_string(GetCurrentProcessId()) +
                "-" + std::to_string(attempt) + ".tmp";
    f = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (f == INVALID_HANDLE_VALUE) {
    *error = LastError();
    return false;
  }
  DWORD written = 0;
  bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(f);
  if (!ok) *error = LastError();
  CloseHandle(f);
  if (ok && !MoveFileExA(temporary.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    *error = LastError();
  }
  if (!ok) DeleteFileA(temporary.c_str());
  return ok;
}

}  // namespace qt_tool
