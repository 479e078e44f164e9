// The tool's body, called by each platform's entry point with the arguments
// as UTF-8.
#ifndef QUADTURN_TOOLS_TOOL_MAIN_H
#define QUADTURN_TOOLS_TOOL_MAIN_H

namespace quadturn::tool {

int Main(int argc, char** argv);

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_TOOL_MAIN_H
