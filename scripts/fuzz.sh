#!/usr/bin/env bash
# Builds the four libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and fuzzes each for a quarter of SECONDS
# (default 120): fuzz_turn (RotateRight90 and RotateLeft90) from fuzz/corpus
# and fuzz/regressions, fuzz_quarter_turns (RotateQuarterTurns) from
# fuzz/corpus-quarter and fuzz/regressions-quarter, fuzz_pixels
# (RotateFlipPixels) from fuzz/corpus-pixels and fuzz/regressions-pixels,
# fuzz_image_file (the
# tool's BMP, TIFF and PNG roads) from fuzz/corpus-files and
# fuzz/regressions-files, in scratch copies. With
# FUZZ_PROCESSES=N, N processes fuzz each target side by side, each from its
# own copy with its own seed (libFuzzer's -jobs shares one folder and ran
# twenty times slower here). Exits non-zero on any finding; the input that
# broke it is left in build/fuzz/findings/ (keep it in the target's
# regressions folder once fixed). Prints the executions run.
# Usage: [FUZZ_PROCESSES=N] fuzz.sh [SECONDS] [more libFuzzer flags]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
shift || true
processes=${FUZZ_PROCESSES:-1}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_turn_libfuzzer fuzz_quarter_turns_libfuzzer \
  fuzz_pixels_libfuzzer fuzz_image_file_libfuzzer
findings=build/fuzz/findings
mkdir -p "$findings"
status=0
for target in turn quarter_turns pixels image_file; do
  case $target in
    turn) corpus=corpus regressions=regressions ;;
    quarter_turns) corpus=corpus-quarter regressions=regressions-quarter ;;
    pixels) corpus=corpus-pixels regressions=regressions-pixels ;;
    image_file) corpus=corpus-files regressions=regressions-files ;;
  esac
  echo "fuzz_$target: $((seconds / 4)) s, $processes process(es)"
  pids=()
  for p in $(seq 1 "$processes"); do
    work=build/fuzz/run-$target-$p
    rm -rf "$work"
    mkdir -p "$work"
    cp fuzz/$corpus/* "$work"/
    find fuzz/$regressions -type f ! -name '.*' -exec cp {} "$work"/ \;
    build/fuzz/fuzz/fuzz_${target}_libfuzzer -max_total_time="$((seconds / 4))" -max_len=81920 \
      -print_final_stats=1 -artifact_prefix="$findings/$target-" -seed="$p" "$@" "$work" \
      >"$work.log" 2>&1 &
    pids+=($!)
  done
  runs=0
  for p in $(seq 1 "$processes"); do
    code=0
    wait "${pids[$((p - 1))]}" || code=$?
    log=build/fuzz/run-$target-$p.log
    grep -E '^(==[0-9]+==|SUMMARY|property broken)|ERROR' "$log" || true
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    runs=$((runs + ${n:-0}))
    if [ "$code" -ne 0 ]; then
      echo "fuzz_$target (process $p) found a problem (exit $code); see $findings/ and $log"
      status=1
    fi
  done
  echo "fuzz_$target: $runs executions"
done
[ "$status" -eq 0 ] && echo "fuzzing: no finding in ${seconds}s"
exit "$status"
