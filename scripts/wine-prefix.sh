#!/usr/bin/env bash
# Makes the Wine prefix once (Mono and Gecko are neither needed nor fetched),
# then starts a persistent wineserver and Wine's background services with
# their output going nowhere. Tests that capture a program's output through a
# pipe would otherwise wait for those services, which inherit the pipe.
# "wineserver -k" stops them all.
# The prefix runs 64-bit and 32-bit programs. 32-bit ones can also run through
# scripts/wine32/wine32 (32-bit Wine under qemu-i386, which can take SSSE3
# away from the processor), and do where the kernel runs no i386 programs
# (scripts/can-run-32bit.sh): its preloaded library is built into
# build/wine32 here, and there the prefix's 32-bit part, which 64-bit
# wineboot would hand to a 32-bit process, is installed through it.
# Without 32-bit Wine (its packages could not be installed) the prefix is
# made for 64-bit programs only, and that is said.
# The prefix is build/wine-prefix unless WINEPREFIX says otherwise (the test
# presets and scripts set it to the same).
set -euo pipefail
export HOME="${HOME:-/root}"
root="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}"
prefix="$WINEPREFIX"
export WINEDEBUG=-all
if bash "$root/scripts/can-run-32bit.sh"; then native32=1 loader=wine; else
  native32=0 loader=/usr/lib/wine/wine64; fi

if [ ! -f "$prefix/system.reg" ]; then
  echo "creating the Wine prefix in $prefix"
  mkdir -p "$(dirname "$prefix")"
  wineserver -k 2>/dev/null || true
  WINEDLLOVERRIDES="mscoree=;mshtml=" "$loader" wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w
  [ -f "$prefix/system.reg" ] || { echo "could not create the Wine prefix"; exit 1; }
fi

shim="$root/build/wine32"
mkdir -p "$shim/lib/i386-linux-gnu" "$shim/lib/x86_64-linux-gnu"
gcc -m32 -O2 -fPIC -shared -nostdlib -Wall -Wextra -Werror \
  -o "$shim/lib/i386-linux-gnu/qemu_shim.so" "$root/scripts/wine32/qemu_shim.c"
gcc -shared -nostdlib -o "$shim/lib/x86_64-linux-gnu/qemu_shim.so" -x c /dev/null

if [ ! -x /usr/lib/wine/wine ]; then
  echo "no 32-bit Wine: the prefix runs 64-bit programs only"
elif [ $native32 = 0 ]; then
  if [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "adding the 32-bit part to the Wine prefix (under qemu-i386)"
    wineserver -k 2>/dev/null || true
    # wine.inf's Wow64Install section, as wineboot would have it run; the
    # bootstrap mode lets Wine start its built-in rundll32 before syswow64
    # holds a copy of it.
    WINEBOOTSTRAPMODE=1 "$root/scripts/wine32/wine32" 'C:\windows\syswow64\rundll32.exe' \
      setupapi,InstallHinfSection Wow64Install 128 '\\?\Z:\usr\share\wine\wine.inf' \
      </dev/null >/dev/null 2>&1 || true
    wineserver -w
    [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ] ||
      { echo "could not add the 32-bit part to the Wine prefix"; exit 1; }
  fi
fi

wineserver -p </dev/null >/dev/null 2>&1 || true  # (one may be running already)
"$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
