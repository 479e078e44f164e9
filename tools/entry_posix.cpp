// The tool's entry point on POSIX systems, where arguments are bytes as given.
#include "tool_main.h"

int main(int argc, char** argv) { return quadturn::tool::Main(argc, argv); }
