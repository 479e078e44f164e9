#!/usr/bin/env bash
# Runs every test: the Linux build, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the 32-bit Windows DLL with its suite and
# host programs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/wine-prefix.sh

for preset in native sanitize windows; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
done
