#!/usr/bin/env bash
# The benchmark run that BENCHMARKS.md reports, all in one go: installs the
# peers from Debian, builds the native benchmark twice (Release, -O3;
# RelWithDebInfo, -O2, as distributions build) and the DLLs' benchmark, runs
# them side by side three times (ROUNDS=N for another count): native, the
# 64-bit DLL under Wine (and the 32-bit one where this machine runs 32-bit
# programs); summarizes each figure's median and spread, draws the chart
# from the medians, and times the tool on files against its peers
# (scripts/bench-files.sh). Tables and CSV go to out/bench/, the summary to
# out/bench/summary.md, the chart to bench/chart.svg. Pass --quick for 3
# repetitions.
set -euo pipefail
cd "$(dirname "$0")/.."
quick=()
if [ "${1:-}" = --quick ]; then quick=(--quick); fi

bash scripts/install-deps.sh all libyuv-dev libopencv-core-dev libleptonica-dev \
  libfreeimage-dev gnuplot-nox
export HOME="${HOME:-/root}" WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/build/wine-prefix}"
bash scripts/wine-prefix.sh

out=out/bench
mkdir -p "$out"
for preset in bench bench-o2 windows-x64 windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done

# Three rounds, each build side by side in every round: this machine's
# memory speed moves by up to 40% between runs, so one run proves nothing.
rounds=${ROUNDS:-3}
runs=()
for round in $(seq 1 "$rounds"); do
  echo "== round $round of $rounds"
  build/bench/bench/quadturn_bench "${quick[@]}" --build "native -O3" \
    --csv "$out/native-o3-$round.csv" | tee "$out/native-o3-$round.txt"
  build/bench-o2/bench/quadturn_bench "${quick[@]}" --build "native -O2" \
    --csv "$out/native-o2-$round.csv" | tee "$out/native-o2-$round.txt"
  (cd build/windows-x64/bin &&
    /usr/lib/wine/wine64 ./quadturn_windows_bench.exe "${quick[@]}" --build "DLL x64, Wine" \
      --csv ../../../"$out"/dll-x64-$round.csv) | tee "$out/dll-x64-$round.txt"
  runs+=("$out/native-o3-$round.csv" "$out/native-o2-$round.csv" "$out/dll-x64-$round.csv")
  if bash scripts/can-run-32bit.sh; then
    (cd build/windows/bin &&
      wine ./quadturn_windows_bench.exe "${quick[@]}" --build "DLL x86, Wine" \
        --csv ../../../"$out"/dll-x86-$round.csv) | tee "$out/dll-x86-$round.txt"
    runs+=("$out/dll-x86-$round.csv")
  fi
done
bash scripts/can-run-32bit.sh ||
  echo "note: this machine runs no 32-bit programs; the 32-bit DLL was not timed"
wineserver -k 2>/dev/null || true

# Medians with their spread (out/bench/summary.md), and the chart from them.
python3 bench/summarize.py "$out/summary.md" "$out/medians.csv" "${runs[@]}"
echo "summary: $out/summary.md"
python3 bench/chart.py "$out/medians.csv" "$out/chart.dat" "$out/chart.labels"
gnuplot -e "data='$out/chart.dat'; labels='$out/chart.labels'; output='bench/chart.svg'" \
  bench/chart.gp
echo "chart: bench/chart.svg"
bash scripts/bench-files.sh "$([ ${#quick[@]} -gt 0 ] && echo 3 || echo 5)"
