#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (run as
# root). Skips apt entirely when everything is already there.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev)

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
