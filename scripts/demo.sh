#!/usr/bin/env bash
# The main job: builds the quadturn tool and turns the bundled sample charts
# (BMP, a two-page TIFF, PNG and JPEG) and the two-page sample fax a quarter
# turn clockwise into out/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh native
cmake --preset native >/dev/null
cmake --build --preset native --target quadturn_tool
mkdir -p out
build/native/tools/quadturn right samples/chart-1.bmp samples/chart-8.bmp \
  samples/chart-24.bmp samples/chart.tif samples/chart.png samples/chart.jpg samples/fax.tif -d out
echo
echo "Turned clockwise into $(pwd)/out: chart-{1,8,24}.bmp, chart.tif (both pages),"
echo "chart.png, chart.jpg (its blocks moved, not encoded again) and fax.tif, both"
echo "pages, 98 x 204 dpi now (the originals are in samples/)."
