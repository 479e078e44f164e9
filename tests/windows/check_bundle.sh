#!/usr/bin/env bash
# Makes the Windows release bundle, unpacks it into a scratch folder and
# checks it as a developer would use it: the files are there, and for each
# architecture a host built against the bundle's files alone (its header, its
# mingw import library, and an import library made from its .def, as an MSVC
# user would with lib /def) runs against the bundle's DLL under Wine (32-bit
# Wine under qemu-i386 where the kernel runs no i386 programs).
# Usage: check_bundle.sh SOURCE_DIR SCRATCH_DIR
set -euo pipefail
source=$1 scratch=$2
export WINEDEBUG=-all
zip=$(bash "$source/scripts/windows-bundle.sh" | tail -1)
rm -rf "$scratch"
mkdir -p "$scratch"
(cd "$scratch" && cmake -E tar xf "$source/$zip")
root=$(find "$scratch" -mindepth 1 -maxdepth 1 -type d -name 'quadturn-*-windows')
for f in include/quadturn.h LICENSE.txt WINDOWS.txt licenses/libtiff.txt licenses/libspng.txt \
         licenses/libjpeg-turbo.txt licenses/zlib.txt; do
  [ -s "$root/$f" ] || { echo "missing from the bundle: $f"; exit 1; }
done
grep -q "lib /def:" "$root/WINDOWS.txt" || { echo "WINDOWS.txt lacks the MSVC steps"; exit 1; }

if bash "$source/scripts/can-run-32bit.sh"; then wine32=wine; else
  wine32=$source/scripts/wine32/wine32; fi
for arch in x86 x64; do
  if [ $arch = x86 ]; then cc=i686-w64-mingw32-gcc tool=i686-w64-mingw32 machine=i386
    underscore=--add-underscore symbol=RotateQuarterTurns@8; else
    cc=x86_64-w64-mingw32-gcc tool=x86_64-w64-mingw32 machine=i386:x86-64 underscore=""
    symbol=RotateQuarterTurns; fi
  dir=$root/$arch
  for f in quadturn.dll quadturn.dll.debug quadturn.exe quadturn.exe.debug libquadturn.dll.a \
           quadturn.def; do
    [ -s "$dir/$f" ] || { echo "missing from the bundle: $arch/$f"; exit 1; }
  done
  # Binaries stripped, each linked to its debug information, which gdb finds
  # from there: the line of an export in the library's source.
  for f in quadturn.dll quadturn.exe; do
    sections=$(objdump -h "$dir/$f")
    if grep -q " \.debug_" <<<"$sections"; then echo "$arch/$f is not stripped"; exit 1; fi
    grep -q " \.gnu_debuglink " <<<"$sections" || { echo "$arch/$f has no debug link"; exit 1; }
  done
  line=$(cd "$dir" && gdb -nx -batch -ex "info line $symbol" ./quadturn.dll 2>&1)
  grep -q 'Line [0-9]* of ".*entry.cpp"' <<<"$line" ||
    { echo "gdb finds no debug information for $arch/quadturn.dll: $line"; exit 1; }
  # As an MSVC user would make one from the .def (lib adds the C underscore
  # on x86, which --add-underscore does here).
  $tool-dlltool -m $machine $underscore -d "$dir/quadturn.def" -D quadturn.dll -l "$scratch/def-$arch.a"
  for lib in "$dir/libquadturn.dll.a" "$scratch/def-$arch.a"; do
    exe=$dir/host-$(basename "$lib" .a).exe
    $cc -I"$root/include" -I"$source/tests/windows" "$source/tests/windows/host_linked.c" \
      "$lib" -o "$exe"
    # (The table is read whole first: grep -q would stop reading early, and
    # pipefail would take objdump's broken pipe for a failure.)
    imports=$($tool-objdump -p "$exe")
    grep -qi "DLL Name: quadturn.dll" <<<"$imports" ||
      { echo "$exe does not import quadturn.dll"; exit 1; }
    if [ $arch = x64 ]; then
      (cd "$dir" && /usr/lib/wine/wine64 "./$(basename "$exe")" </dev/null)
    else
      (cd "$dir" && "$wine32" "./$(basename "$exe")" </dev/null)
    fi
  done
  # The .def binds by ordinal on x86; by name on x64.
  if [ $arch = x86 ]; then
    imports=$($tool-objdump -p "$dir/host-def-x86.exe" | grep -A4 "DLL Name: quadturn.dll")
    grep -q "<none>" <<<"$imports" || { echo "the x86 .def import does not bind by ordinal"; exit 1; }
  fi
done
echo "bundle $(basename "$zip"): both architectures' hosts built against it and run"
