// The tool's entry point on Windows: arguments come as UTF-16, so that file
// names outside the ANSI code page arrive whole, and go on as UTF-8.
#include <windows.h>

#include <string>
#include <vector>

#include "tool_main.h"

int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, &s[0], n, nullptr, nullptr);
    args.push_back(std::move(s));
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  return quadturn::tool::Main(argc, argv.data());
}
