#!/usr/bin/env bash
# Builds the two libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and fuzzes each for half of SECONDS (default
# 90): fuzz_turn (the two original operations) from fuzz/corpus and
# fuzz/regressions, fuzz_quarter_turns (RotateQuarterTurns) from
# fuzz/corpus-quarter and fuzz/regressions-quarter, in scratch copies. Exits
# non-zero on any finding; the input that broke it is left in
# build/fuzz/findings/ (keep it in the target's regressions folder once
# fixed).
# Usage: fuzz.sh [SECONDS] [more libFuzzer flags, e.g. -jobs=2 -workers=2]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-90}
shift || true

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_turn_libfuzzer fuzz_quarter_turns_libfuzzer
findings=build/fuzz/findings
mkdir -p "$findings"
status=0
for target in turn quarter_turns; do
  if [ "$target" = turn ]; then corpus=corpus regressions=regressions; else
    corpus=corpus-quarter regressions=regressions-quarter; fi
  work=build/fuzz/run-$target
  rm -rf "$work"
  mkdir -p "$work"
  cp fuzz/$corpus/* "$work"/
  find fuzz/$regressions -type f ! -name '.*' -exec cp {} "$work"/ \;
  echo "fuzz_$target: $((seconds / 2)) s"
  set +e
  build/fuzz/fuzz/fuzz_${target}_libfuzzer -max_total_time="$((seconds / 2))" -max_len=81920 \
    -print_final_stats=1 -artifact_prefix="$findings/$target-" "$@" "$work" 2>&1 |
    grep -E '^(stat::(number_of_executed_units|average_exec_per_sec|new_units_added)|Done|==[0-9]+==|SUMMARY|property broken)|ERROR'
  code=${PIPESTATUS[0]}
  set -e
  if [ "$code" -ne 0 ]; then
    echo "fuzz_$target found a problem (exit $code); see $findings/"
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "fuzzing: no finding in ${seconds}s"
exit "$status"
