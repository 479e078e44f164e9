#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds and runs a tiny
# consumer against it twice: with find_package(quadturn) and with pkg-config.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR
set -euo pipefail
build=$1 source=$2 scratch=$3
rm -rf "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in include/quadturn.h bin/quadturn lib/pkgconfig/quadturn.pc \
         lib/cmake/quadturn/quadturnConfig.cmake lib/cmake/quadturn/quadturnConfigVersion.cmake; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done

cmake -S "$source/tests/package" -B "$scratch/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
"$scratch/cmake/consumer"

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
cc $(pkg-config --cflags quadturn) "$source/tests/package/consumer.c" \
   $(pkg-config --libs quadturn) -Wl,-rpath,"$prefix/lib" -o "$scratch/consumer-pc"
"$scratch/consumer-pc"
echo "pkg-config version: $(pkg-config --modversion quadturn)"

# The installed tool runs from its prefix as installed: no LD_LIBRARY_PATH.
env -u LD_LIBRARY_PATH "$prefix/bin/quadturn" --version
env -u LD_LIBRARY_PATH "$prefix/bin/quadturn" right "$source/samples/chart-24.bmp" \
  -o "$scratch/turned.bmp"
[ -s "$scratch/turned.bmp" ] || { echo "the installed tool wrote nothing"; exit 1; }
