#!/usr/bin/env bash
# Builds both Windows DLLs (if need be) and packs the release bundle a
# Windows developer drops in: out/quadturn-<version>-windows.zip with x86/ and
# x64/ (quadturn.dll and quadturn.exe, stripped, each with its debug
# information beside it in a .debug file that its debug link names, the mingw
# import library libquadturn.dll.a, and quadturn.def for an MSVC import
# library), include/quadturn.h, WINDOWS.txt (the README's Windows section),
# LICENSE, and licenses/ with those of the codecs quadturn.exe links. Prints
# the zip's path.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(quadturn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=quadturn-$version-windows
stage=out/bundle/$name
rm -rf "$stage" "out/$name.zip"
mkdir -p "$stage/include"
for arch in x86 x64; do
  if [ $arch = x86 ]; then preset=windows def=module/quadturn-msvc-x86.def tool=i686-w64-mingw32
  else preset=windows-x64 def=module/quadturn-x64.def tool=x86_64-w64-mingw32; fi
  if [ ! -f "build/$preset/CMakeCache.txt" ]; then cmake --preset $preset >/dev/null; fi
  cmake --build --preset $preset --target quadturn quadturn_tool quadturn_implib >/dev/null
  mkdir -p "$stage/$arch"
  for binary in quadturn.dll quadturn.exe; do
    # The debug information goes to its own file; the binary keeps a link to
    # it (name and checksum), which gdb follows from the binary's folder.
    (cd "$stage/$arch" &&
      $tool-objcopy --only-keep-debug "$OLDPWD/build/$preset/bin/$binary" "$binary.debug" &&
      $tool-objcopy --strip-all --add-gnu-debuglink="$binary.debug" \
        "$OLDPWD/build/$preset/bin/$binary" "$binary")
  done
  cp build/$preset/lib/libquadturn.dll.a "$stage/$arch/"
  cp $def "$stage/$arch/quadturn.def"
done
cp include/quadturn.h "$stage/include/"
cp LICENSE "$stage/LICENSE.txt"
# The licences of the codecs quadturn.exe links statically (the DLLs link
# none), from the sources they were built from.
sources=build/codec-sources
mkdir -p "$stage/licenses"
cp $sources/tiff/LICENSE.md "$stage/licenses/libtiff.txt"
cp $sources/libspng/LICENSE "$stage/licenses/libspng.txt"
cat $sources/libjpeg-turbo/LICENSE.md $sources/libjpeg-turbo/README.ijg \
  >"$stage/licenses/libjpeg-turbo.txt"
cp /usr/share/doc/libz-mingw-w64-dev/copyright "$stage/licenses/zlib.txt"
# The README's Windows section, up to the next section of the same level.
awk '/^## Windows/{on=1} on && /^## / && !/^## Windows/{exit} on' README.md |
  sed 's/$/\r/' >"$stage/WINDOWS.txt"
(cd out/bundle && cmake -E tar cf "../$name.zip" --format=zip "$name")
echo "out/$name.zip"
