#!/usr/bin/env bash
# The benchmark run that BENCHMARKS.md reports, all in one go: installs the
# peers from Debian, builds and runs the native benchmark twice (Release, -O3;
# RelWithDebInfo, -O2, as distributions build), the 64-bit DLL's benchmark
# under Wine (and the 32-bit one's where this machine runs 32-bit programs),
# draws the chart from the same run, and times the tool on files against its
# peers (scripts/bench-files.sh). Tables and CSV go to out/bench/, the chart
# to bench/chart.svg. Pass --quick for 3 repetitions.
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

build/bench/bench/quadturn_bench "${quick[@]}" --build "native -O3" --csv "$out/native-o3.csv" |
  tee "$out/native-o3.txt"
build/bench-o2/bench/quadturn_bench "${quick[@]}" --build "native -O2" --csv "$out/native-o2.csv" |
  tee "$out/native-o2.txt"
(cd build/windows-x64/bin &&
  /usr/lib/wine/wine64 ./quadturn_windows_bench.exe "${quick[@]}" --build "DLL x64, Wine" \
    --csv ../../../"$out"/dll-x64.csv) | tee "$out/dll-x64.txt"
if bash scripts/can-run-32bit.sh; then
  (cd build/windows/bin &&
    wine ./quadturn_windows_bench.exe "${quick[@]}" --build "DLL x86, Wine" \
      --csv ../../../"$out"/dll-x86.csv) | tee "$out/dll-x86.txt"
else
  echo "note: this machine runs no 32-bit programs; the 32-bit DLL was not timed" |
    tee "$out/dll-x86.txt"
  : >"$out/dll-x86.csv"
fi
wineserver -k 2>/dev/null || true

cat "$out"/native-o3.csv "$out"/native-o2.csv "$out"/dll-x64.csv "$out"/dll-x86.csv \
  >"$out/all.csv"
python3 bench/chart.py "$out/all.csv" "$out/chart.dat" "$out/chart.labels"
gnuplot -e "data='$out/chart.dat'; labels='$out/chart.labels'; output='bench/chart.svg'" \
  bench/chart.gp
echo "chart: bench/chart.svg"
bash scripts/bench-files.sh "$([ ${#quick[@]} -gt 0 ] && echo 3 || echo 5)"
