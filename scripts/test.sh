#!/usr/bin/env bash
# Runs every test: the Linux build; the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer; the thread tests under ThreadSanitizer; a bounded
# fuzzing run with a fixed seed; and the 32-bit Windows DLL with its suite,
# host programs and tool under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/wine-prefix.sh
trap 'wineserver -k 2>/dev/null || true' EXIT

for preset in native sanitize tsan windows; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
done

echo "== fuzz"
bash scripts/fuzz.sh 90 -seed=1
