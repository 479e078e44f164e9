#!/usr/bin/env bash
# Builds the libFuzzer target (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and fuzzes the two operations for SECONDS
# (default 90), starting from fuzz/corpus and fuzz/regressions in a scratch
# copy. Exits non-zero on any finding; the input that broke it is left in
# build/fuzz/findings/ (keep it in fuzz/regressions/ once fixed).
# Usage: fuzz.sh [SECONDS] [more libFuzzer flags, e.g. -jobs=2 -workers=2]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-90}
shift || true

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_turn_libfuzzer
work=build/fuzz/run
findings=build/fuzz/findings
rm -rf "$work"
mkdir -p "$work" "$findings"
cp fuzz/corpus/* "$work"/
find fuzz/regressions -type f ! -name '.*' -exec cp {} "$work"/ \;
set +e
build/fuzz/fuzz/fuzz_turn_libfuzzer -max_total_time="$seconds" -max_len=294912 \
  -print_final_stats=1 -artifact_prefix="$findings/" "$@" "$work" 2>&1 |
  grep -E '^(stat::|Done|==[0-9]+==|SUMMARY|property broken)|ERROR'
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  echo "fuzzing found a problem (exit $status); see $findings/"
  exit 1
fi
echo "fuzzing: no finding in ${seconds}s"
