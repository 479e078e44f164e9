// Writing a whole file or nothing: a temporary file beside the target,
// flushed to disk, then renamed over it.
#ifndef QUADTURN_TOOLS_ATOMIC_WRITE_H
#define QUADTURN_TOOLS_ATOMIC_WRITE_H

#include <cstdint>
#include <string>
#include <vector>

namespace qt_tool {

// Writes `bytes` to `path`, replacing any file there only once every byte is
// on disk. On failure the target is as it was, no temporary file is left,
// and `error` says why.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error);

// Removes a temporary file left by a write that a signal interrupted
// (installed once by main on systems that have such signals).
void RemoveTemporaryOnSignal();

// Whether `path` names an existing folder.
bool IsDirectory(const std::string& path);

}  // namespace qt_tool

#endif  // QUADTURN_TOOLS_ATOMIC_WRITE_H
