#!/usr/bin/env bash
# Makes the Wine prefix once (Mono and Gecko are neither needed nor fetched),
# then starts a persistent wineserver and Wine's background services with
# their output going nowhere. Tests that capture a program's output through a
# pipe would otherwise wait for those services, which inherit the pipe.
# "wineserver -k" stops them all. The prefix runs 64-bit programs, and 32-bit
# ones where the kernel runs 32-bit processes (scripts/can-run-32bit.sh).
set -euo pipefail
export HOME="${HOME:-/root}"
prefix="${WINEPREFIX:-$HOME/.wine}"
export WINEDEBUG=-all
here="$(dirname "$0")"
if bash "$here/can-run-32bit.sh"; then loader=wine; else loader=/usr/lib/wine/wine64; fi
if [ ! -f "$prefix/system.reg" ]; then
  echo "creating the Wine prefix in $prefix"
  WINEDLLOVERRIDES="mscoree=;mshtml=" "$loader" wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w
  [ -f "$prefix/system.reg" ] || { echo "could not create the Wine prefix"; exit 1; }
fi
wineserver -p </dev/null >/dev/null 2>&1 || true  # (one may be running already)
"$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
