#!/usr/bin/env bash
# Makes the Wine prefix once, so the first Windows test does not pay for it.
# Mono and Gecko are not needed and not fetched.
set -euo pipefail
prefix="${WINEPREFIX:-$HOME/.wine}"
if [ ! -f "$prefix/system.reg" ]; then
  echo "creating the Wine prefix in $prefix"
  WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i >/dev/null 2>&1
  wineserver -w
fi
