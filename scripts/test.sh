#!/usr/bin/env bash
# Runs every test: the Linux build; the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer; the thread tests under ThreadSanitizer; the
# 64-bit and the 32-bit Windows DLL with their suites, host programs and tool
# under Wine (32-bit Wine emulated by qemu-i386 where the kernel runs no i386
# programs, and the 32-bit suite once more on an emulated processor without
# SSSE3); and a 90-second fuzzing run that starts the same way every time.
#
# The screen gets one line per part and the names of failed tests; the whole
# output goes to build/test-log.txt. Every part runs even when one fails; the
# last line counts the tests that ran: "N passed, M failed, K skipped". The
# Wine prefix lives in build/wine-prefix.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
export HOME="${HOME:-/root}" WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" WINEDEBUG=-all
mkdir -p build
log="$root/build/test-log.txt"
: >"$log"
started=$SECONDS

# Runs a step with its output in the log only; on failure, its last lines
# are shown too.
quiet() {
  if ! "$@" >>"$log" 2>&1; then
    echo "failed: $*"
    tail -n 20 "$log"
    return 1
  fi
}
quiet bash scripts/install-deps.sh || exit 1
quiet bash scripts/wine-prefix.sh || exit 1
trap 'wineserver -k 2>/dev/null || true' EXIT

passed=0 failed=0 skipped=0
for preset in native sanitize tsan windows windows-x64; do
  part_started=$SECONDS
  if ! quiet cmake --preset "$preset" || ! quiet cmake --build --preset "$preset"; then
    echo "== $preset: the build failed"
    failed=$((failed + 1))
    continue
  fi
  part=$(mktemp)
  ctest --preset "$preset" -j2 >"$part" 2>&1
  cat "$part" >>"$log"
  total=$(sed -n 's/.* failed out of \([0-9]*\).*/\1/p' "$part")
  bad=$(sed -n 's/.*, \([0-9]*\) tests* failed out of.*/\1/p' "$part")
  skip=$(grep -c '(Skipped)$' "$part" || true)
  bad=${bad:-0}
  [ -n "$total" ] && [ "$total" != 0 ] || { bad=1; total=1; }
  echo "== $preset: $((total - bad - skip)) passed, $bad failed, $skip skipped" \
    "($((SECONDS - part_started)) s)"
  if [ "$preset" = windows ] && ! bash scripts/can-run-32bit.sh; then
    echo "   (32-bit Wine emulated by qemu-i386: this kernel runs no i386 programs)"
  fi
  sed -n '/The following tests FAILED:/,$p' "$part" | grep -E '^\s+[0-9]+ - ' || true
  passed=$((passed + total - bad - skip)) failed=$((failed + bad)) skipped=$((skipped + skip))
  rm -f "$part"
done

part_started=$SECONDS
# Seeded by process number: the same start every time.
if quiet bash scripts/fuzz.sh 90; then
  passed=$((passed + 1))
  echo "== fuzz: passed ($(grep -h 'executions$' "$log" | tail -3 |
    awk '{ printf "%s%s", (NR > 1 ? ", " : ""), $0 }'))" \
    "($((SECONDS - part_started)) s)"
else
  failed=$((failed + 1))
  echo "== fuzz: failed (findings in build/fuzz/findings)"
fi

echo "whole log: build/test-log.txt; $((SECONDS - started)) s"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
