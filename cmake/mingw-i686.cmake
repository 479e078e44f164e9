# Cross build for 32-bit x86 Windows with mingw-w64 (Debian g++-mingw-w64-i686);
# tests run under 32-bit Wine: Debian's own where the kernel runs i386
# programs, otherwise the same Wine emulated by qemu-i386
# (scripts/wine32/wine32; scripts/wine-prefix.sh sets it up).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

# The posix thread model: GoogleTest and the tests need std::mutex and
# std::thread; -static keeps winpthread out of the DLL's imports.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_DLLTOOL i686-w64-mingw32-dlltool)
set(CMAKE_OBJDUMP i686-w64-mingw32-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/can-run-32bit.sh
  RESULT_VARIABLE QUADTURN_NATIVE_32_CHECK)
get_filename_component(QUADTURN_WINE32 ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine32/wine32 ABSOLUTE)
if(QUADTURN_NATIVE_32_CHECK EQUAL 0)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all wine)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all ${QUADTURN_WINE32})
endif()
