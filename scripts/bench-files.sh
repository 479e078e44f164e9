#!/usr/bin/env bash
# The tool on files, timed side by side in one run against tiffcrop
# (libtiff-tools), jpegtran (libjpeg-turbo-progs), vips (libvips-tools) and
# ImageMagick, whole processes file to file: a 100-page Group 4 fax, a 300
# dpi LZW colour scan, a 600 dpi grey PNG, a 24-megapixel JPEG photograph
# and a 600 dpi JPEG colour scan, all written by bench/make_bench_files. Installs the peers from
# Debian; the table goes to out/bench/files.txt. Pass a repetition count
# (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."
reps=${1:-5}

bash scripts/install-deps.sh native libtiff-tools libjpeg-turbo-progs libvips-tools imagemagick

cmake --preset bench >/dev/null
cmake --build --preset bench --target quadturn_tool make_bench_files >/dev/null
files=out/bench/files
mkdir -p "$files"
build/bench/bench/make_bench_files "$files"
python3 bench/time_tools.py build/bench/tools/quadturn "$files" "$reps" | tee out/bench/files.txt
