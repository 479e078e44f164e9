# Cross build for 64-bit x86-64 Windows with mingw-w64 (Debian
# g++-mingw-w64-x86-64); tests run under 64-bit Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

# The posix thread model: GoogleTest and the tests need std::mutex and
# std::thread; -static keeps winpthread out of the DLL's imports.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_DLLTOOL x86_64-w64-mingw32-dlltool)
set(CMAKE_OBJDUMP x86_64-w64-mingw32-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's "wine" starts the 32-bit loader first, which needs a kernel that
# runs 32-bit programs; the 64-bit loader runs 64-bit programs on its own.
find_program(QUADTURN_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(QUADTURN_WINE64 NAMES wine64 wine)
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all ${QUADTURN_WINE64})
