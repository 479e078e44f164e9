#!/usr/bin/env bash
# Installs the peer libraries from Debian, builds the benchmark in Release and
# prints its table (the one BENCHMARKS.md holds). Pass --quick for 3 repetitions.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh native
peers=(libyuv-dev libopencv-core-dev libleptonica-dev libfreeimage-dev)
missing=()
for p in "${peers[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
cmake --preset bench >/dev/null
cmake --build --preset bench
build/bench/bench/quadturn_bench "$@"
