// What each system's file layer gives the part both share, and what that
// part gives them back: not for the rest of the tool.
#ifndef QUADTURN_TOOLS_FILE_SYSTEM_PLATFORM_H
#define QUADTURN_TOOLS_FILE_SYSTEM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "file_system.h"

namespace quadturn::tool {

// An open file as the system names it: a descriptor, or a HANDLE.
using Channel = intptr_t;

// Given by each system: the characters that separate a path's parts, this
// process's number, standard input and output, reads of 1 to n bytes (how
// many, 0 at the end of the data, or -1 with `error` set; in order, or at an
// offset of a regular file without moving the position), writes of 1 to n
// bytes (how many, or -1 with `error` set), and closing.
extern const char kPathSeparators[];
unsigned long ProcessNumber();
Channel StandardInputChannel();
Channel StandardOutputChannel();
int64_t ReadSomeFrom(Channel from, void* to, std::size_t n, std::string* error);
int64_t ReadSomeAt(Channel from, uint64_t offset, void* to, std::size_t n, std::string* error);
int64_t WriteSomeTo(Channel to, const void* from, std::size_t n, std::string* error);
void CloseChannel(Channel c);

// Given by the shared part: the attempt'th hidden temporary file name (no
// folder) for this process, an input reading a channel (closed with it when
// owned), and standard output as an Output.
std::string TemporaryLeaf(int attempt);
std::unique_ptr<Input> ChannelInput(Channel from, int64_t size, bool owned);
std::unique_ptr<Output> StandardOutput();

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_FILE_SYSTEM_PLATFORM_H
