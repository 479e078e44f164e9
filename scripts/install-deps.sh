#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (run as
# root), in groups named after the test parts that need them:
#   native       the toolchain, GoogleTest, clang's sanitizers and fuzzer,
#                libtiff and libspng for the tool (the Linux parts and fuzzing)
#   windows-x64  the 64-bit mingw-w64 compiler, 64-bit Wine, mingw-w64 zlib
#   windows      the 32-bit mingw-w64 compiler, 32-bit Wine and qemu-i386,
#                which runs it where the kernel runs no i386 programs
# "all" (the default) is the three. Packages named after the first argument
# are installed too (the benchmarks' peers). apt is left alone when
# everything is there.
#
# It survives a half-synced Debian mirror: "apt-get update" is tried a few
# times and, if it still fails, only warned about (the lists already there may
# do). When apt cannot resolve the install (a library whose amd64 copy is at a
# security version whose i386 copy the broken index hides), that one
# transaction is retried with bookworm and bookworm-updates pinned above
# bookworm-security, so both architectures get a version they share. The pin
# is a temporary preferences file given to those apt-get calls alone (apt's
# own configuration is not touched) and removed on every exit; nothing is
# ever removed, and every package taken back to an older version is named. When the whole set cannot be had,
# each group is tried on its own, so one broken group does not keep the
# others out.
#
# Exits 0 when everything is installed. Otherwise exits 1 after one line per
# group that could not be had:
#   cannot install for GROUP: PACKAGE... (why)
# Usage: install-deps.sh [native|windows|windows-x64|all] [PACKAGE...]
set -uo pipefail
export DEBIAN_FRONTEND=noninteractive

group_native=(cmake ninja-build g++ pkgconf googletest libgtest-dev clang libclang-rt-14-dev gdb
  libtiff-dev libspng-dev libturbojpeg0-dev)
# The Windows tool's codecs: zlib from Debian's mingw-w64 build, the others
# cross-built from Debian's source packages (dpkg-dev unpacks them).
group_windows_x64=(g++-mingw-w64-x86-64 wine wine64 libz-mingw-w64-dev dpkg-dev)
# wine64 too: the Wine prefix is made by the 64-bit loader where 32-bit Wine
# has to be emulated.
group_windows=(g++-mingw-w64-i686 wine wine64 wine32:i386 qemu-user-static libz-mingw-w64-dev
  dpkg-dev)

set_of=${1:-all}
shift || true
case $set_of in
  native | windows | windows-x64) groups=("$set_of") ;;
  all) groups=(native windows-x64 windows) ;;
  *) echo "usage: install-deps.sh [native|windows|windows-x64|all] [PACKAGE...]" >&2; exit 2 ;;
esac
named=("$@")

members() { # GROUP: its packages, one per line
  case $1 in
    native) printf '%s\n' "${group_native[@]}" ;;
    windows-x64) printf '%s\n' "${group_windows_x64[@]}" ;;
    windows) printf '%s\n' "${group_windows[@]}" ;;
    named) printf '%s\n' "${named[@]}" ;;
  esac
}
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing_of() { # GROUP: the packages of the group not yet installed
  local p
  for p in $(members "$1"); do installed "$p" || echo "$p"; done
}

[ ${#named[@]} -gt 0 ] && groups+=(named)
all_missing=()
for g in "${groups[@]}"; do
  for p in $(missing_of "$g"); do
    [[ " ${all_missing[*]} " == *" $p "* ]] || all_missing+=("$p")
  done
done
[ ${#all_missing[@]} -eq 0 ] && exit 0

if [[ " ${all_missing[*]} " == *":i386 "* ]] &&
  ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

echo "installing: ${all_missing[*]}"
# A mirror that is syncing serves an index whose size does not match its
# signed one for a while; a later try often finds it whole. At most about
# 100 seconds of waiting.
update_failure=
waited=0
started=$SECONDS
for wait in 10 20 30 40 0; do
  if out=$(apt-get update -qq 2>&1); then
    update_failure=
    break
  fi
  update_failure=$(grep -E '^(E|W): ' <<<"$out" | grep -v 'Some index files failed' | head -1 |
    sed 's/ *\[IP: [^]]*\]//; s/  */ /g')
  update_failure=${update_failure:-"apt-get update failed"}
  # No new try that would end past about two minutes.
  [ $wait -eq 0 ] || [ $((SECONDS - started + wait)) -gt 100 ] && break
  echo "apt-get update failed (${update_failure}); trying again in ${wait} s"
  sleep $wait
  waited=$((waited + wait))
done
if [ -n "$update_failure" ]; then
  echo "warning: apt-get update still fails after ${waited} s of retries" \
    "(${update_failure}); going on with the package lists there are"
fi

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
pin=$(mktemp --suffix=.pref /tmp/quadturn-install-deps.XXXXXX)
trap 'rm -f "$pin"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

why= # the reason the last try_install failed

# The reason in apt's output, on one line: the first broken dependency and
# apt's last error.
reason_in() {
  local broken error
  broken=$(grep -E ' : (Pre)?Depends: | : Breaks: | : Conflicts: ' <<<"$1" | head -1 |
    sed 's/^ *//; s/  */ /g')
  error=$(grep '^E: ' <<<"$1" | tail -1 | sed 's/^E: //')
  echo "${broken:+$broken; }${error:-apt-get failed}"
}

# Names each package the simulation takes to an older version than the one
# installed ("Inst NAME [OLD] (NEW ...)").
report_downgrades() {
  local name old new
  while read -r name old new; do
    if dpkg --compare-versions "$new" lt "$old"; then
      echo "downgraded: $name $old -> $new"
    fi
  done < <(sed -n 's/^Inst \([^ ]*\) \[\([^]]*\)\] (\([^ ]*\) .*/\1 \2 \3/p' <<<"$1")
}

# The pin: an existing /etc/apt/preferences (which the option replaces) and
# then the two releases above the security one.
write_pin() {
  { [ -f /etc/apt/preferences ] && cat /etc/apt/preferences && echo
    printf 'Package: *\nPin: release o=Debian,n=%s\nPin-Priority: 1001\n\n' "$codename"
    printf 'Package: *\nPin: release o=Debian,n=%s-updates\nPin-Priority: 1001\n' "$codename"
  } >"$pin"
}

try_install() { # PACKAGE...: installs them in one transaction; sets why on failure
  local sim out pinning=()
  # A plain install may resolve by removing what holds an amd64 library at a
  # version its i386 copy cannot have: that too is retried under the pin.
  if ! sim=$(apt-get -s install "$@" 2>&1) || grep -q '^Remv ' <<<"$sim"; then
    write_pin
    pinning=(-o "Dir::Etc::Preferences=$pin")
    if ! sim=$(apt-get "${pinning[@]}" -s install "$@" 2>&1); then
      why=$(reason_in "$sim")
      return 1
    fi
    echo "apt could not resolve the install as it is; going on with $codename and" \
      "$codename-updates preferred to $codename-security for this one transaction"
  fi
  if grep -q '^Remv ' <<<"$sim"; then
    why="it would remove $(sed -n 's/^Remv \([^ ]*\).*/\1/p' <<<"$sim" | tr '\n' ' ' |
      sed 's/ $//'), which is refused"
    return 1
  fi
  report_downgrades "$sim"
  local flags=(-y -qq -o DPkg::Lock::Timeout=300)
  [ ${#pinning[@]} -gt 0 ] && flags+=("${pinning[@]}" --allow-downgrades)
  if ! out=$(apt-get install "${flags[@]}" "$@" 2>&1); then
    why=$(reason_in "$out")
    return 1
  fi
  if [ ${#pinning[@]} -gt 0 ]; then
    echo "note: the packages taken back lack their security fixes until the mirror is" \
      "whole again; then apt-get update && apt-get upgrade brings them up"
  fi
}

if try_install "${all_missing[@]}"; then
  exit 0
fi
status=0
if [ ${#groups[@]} -eq 1 ]; then
  failures=("${groups[0]}|${all_missing[*]}|$why")
else
  # One broken group keeps the others out of a single transaction: each on
  # its own.
  failures=()
  for g in "${groups[@]}"; do
    mapfile -t left < <(missing_of "$g")
    [ ${#left[@]} -eq 0 ] && continue
    try_install "${left[@]}" || failures+=("$g|${left[*]}|$why")
  done
fi
for f in "${failures[@]}"; do
  IFS='|' read -r g pkgs reason <<<"$f"
  echo "cannot install for $g: $pkgs ($reason${update_failure:+; the package lists could not be updated})"
  status=1
done
exit $status
