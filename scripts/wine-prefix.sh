#!/usr/bin/env bash
# Makes the Wine prefix once (Mono and Gecko are neither needed nor fetched),
# then starts a persistent wineserver and Wine's background services with
# their output going nowhere. Tests that capture a program's output through a
# pipe would otherwise wait for those services, which inherit the pipe.
# "wineserver -k" stops them all.
set -euo pipefail
export HOME="${HOME:-/root}"
prefix="${WINEPREFIX:-$HOME/.wine}"
export WINEDEBUG=-all
if [ ! -f "$prefix/system.reg" ]; then
  echo "creating the Wine prefix in $prefix"
  WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -w
fi
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
