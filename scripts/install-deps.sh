#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (run as
# root): the native toolchain, GoogleTest, and libtiff and libspng for the
# tool; with "all" (the default) also
# the mingw-w64 cross compilers, 64- and 32-bit Wine for the Windows DLLs,
# and qemu-i386 to run 32-bit Wine where the kernel runs no i386 programs.
# Skips apt when everything is there. Packages named after the first
# argument are installed too (the benchmarks' peers).
# Usage: install-deps.sh [native|all] [PACKAGE...]
set -euo pipefail

packages=(cmake ninja-build g++ pkgconf googletest libgtest-dev clang libclang-rt-14-dev gdb
  libtiff-dev libspng-dev)
set_of=${1:-all}
shift || true
packages+=("$@")
if [ "$set_of" = all ]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386
    qemu-user-static)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
