#!/usr/bin/env bash
# Runs every test: the Linux build; the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer; the thread tests under ThreadSanitizer; the
# 64-bit and the 32-bit Windows DLL with their suites, host programs and tool
# under Wine (32-bit Wine emulated by qemu-i386 where the kernel runs no i386
# programs, and the 32-bit suite once more on an emulated processor without
# SSSE3); and a 90-second fuzzing run that starts the same way every time.
set -euo pipefail
cd "$(dirname "$0")/.."

export HOME="${HOME:-/root}"  # Wine keeps its prefix there
bash scripts/install-deps.sh
bash scripts/wine-prefix.sh
trap 'wineserver -k 2>/dev/null || true' EXIT

log=$(mktemp)
passed=0
for preset in native sanitize tsan windows windows-x64; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  if [ "$preset" = windows ] && ! bash scripts/can-run-32bit.sh; then
    echo "note: this kernel runs no i386 programs: the 32-bit DLL's programs run under 32-bit Wine emulated by qemu-i386"
  fi
  ctest --preset "$preset" -j2 | tee "$log"
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log")
  passed=$((passed + ${n:-0}))
done
rm -f "$log"

echo "== fuzz"
bash scripts/fuzz.sh 90   # seeded by process number: the same start every time
passed=$((passed + 1))

echo "all: $passed passed, 0 failed"
