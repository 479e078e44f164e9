#!/usr/bin/env bash
# Fetches and unpacks Debian's source packages of the codecs the Windows tool
# links (libtiff, libspng, libjpeg-turbo) into DEST/tiff, DEST/libspng and
# DEST/libjpeg-turbo, once: the revision the Linux build has installed
# where the mirror has it, otherwise the newest it has. A deb-src list of
# its own and its own package lists under DEST/apt are used; apt's own
# configuration is not touched. Exits non-zero with one line saying what
# could not be had.
# Usage: codec-sources.sh DEST
set -uo pipefail
dest=${1:?usage: codec-sources.sh DEST}
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
# source package, a binary package of it whose installed version to prefer
packages=("tiff libtiff-dev" "libspng libspng-dev" "libjpeg-turbo libturbojpeg0-dev")

have_all=1
for p in "${packages[@]}"; do
  [ -f "$dest/${p%% *}/.unpacked" ] || have_all=
done
[ -n "$have_all" ] && exit 0

apt_dir=$dest/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
cat >"$apt_dir/sources.list" <<EOF
deb-src [signed-by=$keyring] http://deb.debian.org/debian $codename main
deb-src [signed-by=$keyring] http://deb.debian.org/debian $codename-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security $codename-security main
EOF
apt=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
  -o APT::Sandbox::User=root)
# A mirror that is syncing may fail an index now and serve it a little later.
for try in 1 2 3; do
  apt-get "${apt[@]}" update >"$apt_dir/update.log" 2>&1 && break
  [ "$try" = 3 ] && echo "warning: apt-get update of the source lists failed; going on with what it got" >&2
  sleep 10
done

status=0
for p in "${packages[@]}"; do
  source=${p%% *} binary=${p##* }
  [ -f "$dest/$source/.unpacked" ] && continue
  work=$dest/download-$source
  rm -rf "$work" "$dest/$source"
  mkdir -p "$work"
  installed=$(dpkg-query -W -f='${Version}' "$binary" 2>/dev/null || true)
  # The installed revision first, then every other the lists name, newest
  # first: a half-synced mirror may list a revision whose files are not there.
  mapfile -t versions < <({
    [ -n "$installed" ] && echo "$installed"
    apt-cache "${apt[@]}" showsrc "$source" 2>/dev/null | sed -n 's/^Version: //p' | sort -rV
  } | awk '!seen[$0]++')
  got=
  for v in "${versions[@]}"; do
    if (cd "$work" && apt-get "${apt[@]}" source --download-only "$source=$v" >"$work/log" 2>&1); then
      got=$v
      break
    fi
    rm -f "$work"/*.dsc "$work"/*.tar.*
  done
  if [ -z "$got" ]; then
    echo "cannot fetch the source of $source (tried: ${versions[*]:-none listed})" >&2
    status=1
    continue
  fi
  if ! dpkg-source --no-check -x "$work"/*.dsc "$dest/$source" >>"$work/log" 2>&1; then
    echo "cannot unpack the source of $source $got (see $work/log)" >&2
    status=1
    continue
  fi
  echo "$got" >"$dest/$source/.unpacked"
  rm -f "$dest/${source}_"*.orig.tar.*
  [ "$got" = "$installed" ] || echo "note: $source $got (the Linux build has ${installed:-none})" >&2
  rm -rf "$work"
done
exit $status
