#!/bin/bash
# Runs 32-bit Windows programs on a 64-bit Linux machine, also one whose kernel
# runs no 32-bit code at all: Debian's own 32-bit wine (wine32:i386) with its
# 32-bit parts executed by qemu-i386, the user-mode emulator. The emulator is
# registered for 32-bit x86 programs through binfmt_misc inside a private user
# and mount namespace (Linux 6.7 or later), so the machine's own settings stay
# as they are. Where the kernel runs 32-bit programs itself, they still go
# through the emulator here; that costs time, not correctness.
#
#   tests/wine/wine32.sh setup                   fetch the emulator (once)
#   tests/wine/wine32.sh PROGRAM.exe [ARGS...]   run one Windows program (in a
#       prefix kept in the cache unless WINEPREFIX names one; CTest's emulator)
#   tests/wine/wine32.sh --within COMMAND [ARGS...]
#       run a Linux command in that environment: the wine loader is
#       $VARNO_WINE, its server $WINESERVER; the command picks its WINEPREFIX
#
# The emulator comes from the qemu-user package of Debian's trixie suite
# (version 10; the 7.2 of bookworm hangs while wine makes a prefix). It is
# fetched with a private apt configuration from the Debian archive this
# machine's own apt sources name, and only its one file is unpacked; nothing
# is installed.
# Cache: $VARNO_WINE32_CACHE, by default build-win32/wine32 of the repository.
# Needs: wine32:i386 (dpkg --add-architecture i386), wine64, util-linux, apt.
set -euo pipefail

REPO=$(cd "$(dirname "$0")/../.." && pwd)
CACHE=${VARNO_WINE32_CACHE:-$REPO/build-win32/wine32}
SUITE=trixie
WINE=/usr/lib/wine/wine
WINESERVER64=/usr/lib/wine/wineserver64
QEMU=$CACHE/qemu-i386

note() { echo "wine32: $*" >&2; }

# The URI of the Debian archive that serves this machine's own release.
debian_archive() {
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  apt-cache policy 2>/dev/null | awk -v want="$codename/main" '$3 == want { print $2; exit }'
}

fetch_emulator() {
  [ -x "$QEMU" ] && return 0
  local uri apt=$CACHE/apt
  uri=$(debian_archive)
  if [ -z "$uri" ]; then
    note "apt-cache policy names no Debian archive for this release (run apt-get update)"
    return 1
  fi
  rm -rf "$apt"
  mkdir -p "$apt/etc/sources.list.d" "$apt/etc/preferences.d" "$apt/etc/apt.conf.d" \
           "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/debs"
  : >"$apt/state/status"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $SUITE main" \
    >"$apt/etc/sources.list"
  cat >"$apt/apt.conf" <<CONF
Dir::Etc "$apt/etc";
Dir::State "$apt/state";
Dir::State::status "$apt/state/status";
Dir::Cache "$apt/cache";
APT::Architectures { "amd64"; };
APT::Sandbox::User "root";
CONF
  export APT_CONFIG=$apt/apt.conf
  apt-get -qq update >&2 || { note "apt-get update of $SUITE failed"; return 1; }
  (cd "$apt/debs" && apt-get -qq download qemu-user >&2) || { note "no qemu-user"; return 1; }
  unset APT_CONFIG
  dpkg-deb --fsys-tarfile "$apt"/debs/qemu-user_*.deb | tar -x -C "$apt" ./usr/bin/qemu-i386
  mv "$apt/usr/bin/qemu-i386" "$QEMU"
  rm -rf "$apt"
  note "$("$QEMU" --version | head -1)"
}

# Inside the namespace: mount its own binfmt_misc and send 32-bit x86 ELF
# programs to the emulator. O hands it the open program, F opens the
# emulator now, so it is found whatever the program's mount view.
register_emulator() {
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  printf ':varno-i386:M::%s:%s:%s:OF\n' "$magic" "$mask" "$QEMU" \
    >/proc/sys/fs/binfmt_misc/register
}

# Runs "$@" in a private namespace set up for 32-bit wine.
within() {
  fetch_emulator
  export WINEARCH=win32 WINESERVER=$WINESERVER64 WINEDEBUG=${WINEDEBUG:--all}
  export VARNO_WINE=$WINE
  exec unshare --user --map-root-user --mount --propagation private \
    "$0" --registered "$@"
}

case "${1:-}" in
  setup) fetch_emulator ;;
  --within) shift; within "$@" ;;
  --registered)
    shift
    register_emulator
    export VARNO_WINE32_INSIDE=1
    "$@"
    ;;
  ""|-h|--help) sed -n '2,/^set /p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; exit 2 ;;
  *)
    # Already inside (a suite run through --within): the caller's prefix and session.
    [ -n "${VARNO_WINE32_INSIDE:-}" ] && exec "$WINE" "$@"
    export WINEPREFIX=${WINEPREFIX:-$CACHE/prefix} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
    within sh -c '"$VARNO_WINE" "$@"; code=$?; "$WINESERVER" -w; exit $code' wine32 "$@"
    ;;
esac
