#!/usr/bin/env bash
# Runs every test: the Linux build; the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer; the thread tests under ThreadSanitizer; the
# 64-bit and the 32-bit Windows DLL with their suites, host programs and tool
# under Wine (32-bit Wine emulated by qemu-i386 where the kernel runs no i386
# programs, and the 32-bit suite once more on an emulated processor without
# SSSE3); and a one-minute fuzzing run (two processes a target) that starts
# the same way every time.
#
# The screen gets one line per part and the names of failed tests; the whole
# output goes to build/test-log.txt. Every part runs even when one fails, and
# a part whose packages could not be installed counts as failed, with the
# reason; the last line counts the tests that ran: "N passed, M failed,
# K skipped". The Wine prefix lives in build/wine-prefix.
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
# Packages by the part that needs them: a group that cannot be installed
# fails its parts with the reason, and the others run. What the set-up did
# about a half-synced mirror (a failed update, versions taken back) is shown.
deps=$(mktemp)
bash scripts/install-deps.sh all >"$deps" 2>&1
deps_status=$?
if [ $deps_status != 0 ] && ! grep -q '^cannot install for ' "$deps"; then
  for group in native windows windows-x64; do
    echo "cannot install for $group: (scripts/install-deps.sh exited $deps_status)" >>"$deps"
  done
fi
cat "$deps" >>"$log"
grep -E '^(warning|downgraded|apt could not)' "$deps" || true
# The reason the packages of a group could not be installed, if they could not.
not_installed() { sed -n "s/^cannot install for $1: //p" "$deps"; }
group_of() { case $1 in windows | windows-x64) echo "$1" ;; *) echo native ;; esac; }
no_prefix=
if [ -z "$(not_installed windows-x64)" ] || [ -z "$(not_installed windows)" ]; then
  quiet bash scripts/wine-prefix.sh || no_prefix="the Wine prefix could not be made"
  trap 'wineserver -k 2>/dev/null || true' EXIT
  # The Windows tool's codecs are built from Debian's sources, fetched once.
  sources=
  if [ -z "$no_prefix" ] && ! sources=$(bash scripts/codec-sources.sh build/codec-sources 2>&1); then
    no_prefix="the codecs' sources could not be fetched: $(tail -1 <<<"$sources")"
  fi
  echo "$sources" >>"$log"
  grep '^note:' <<<"$sources" || true
fi

passed=0 failed=0 skipped=0
for preset in native sanitize tsan windows windows-x64; do
  part_started=$SECONDS
  why=$(not_installed "$(group_of "$preset")")
  [ -n "$why" ] && why="its packages could not be installed: $why"
  [ -z "$why" ] && [ "$preset" != "${preset#windows}" ] && why=$no_prefix
  if [ -n "$why" ]; then
    echo "== $preset: failed, not run: $why"
    failed=$((failed + 1))
    continue
  fi
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
if why=$(not_installed native) && [ -n "$why" ]; then
  failed=$((failed + 1))
  echo "== fuzz: failed, not run: its packages could not be installed: $why"
elif quiet env FUZZ_PROCESSES=2 bash scripts/fuzz.sh 60; then
  passed=$((passed + 1))
  echo "== fuzz: passed ($(grep -h 'executions$' "$log" | tail -3 |
    awk '{ printf "%s%s", (NR > 1 ? ", " : ""), $0 }'))" \
    "($((SECONDS - part_started)) s)"
else
  failed=$((failed + 1))
  echo "== fuzz: failed (findings in build/fuzz/findings)"
fi

rm -f "$deps"
echo "whole log: build/test-log.txt; $((SECONDS - started)) s"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
