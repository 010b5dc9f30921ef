#!/bin/bash
# Builds the Windows program for i686 (the program as shipped) and x86_64 (the
# same sources, as a 64-bit program that runs under wine64 here), then runs,
# under wine64 and with the x86_64 build: the unit tests, the Windows layer's
# tests, whole runs of the program, and the end-to-end suite of tests/e2e when
# it is there. Exits non-zero when any step fails.
#
# Needs (Debian 12): cmake make python3 googletest g++-mingw-w64-i686-win32
# g++-mingw-w64-x86-64-win32 wine64. The i686 program is built and its imports
# checked but not run: that needs a wine that runs 32-bit code, and so a
# kernel that runs 32-bit Linux programs.
# Takes about 3.5 minutes on 2 cores, most of it building.
set -u

REPO=$(cd "$(dirname "$0")/../.." && pwd)
WINE64=${VARNO_WINE:-/usr/lib/wine/wine64}
WINESERVER=$(dirname "$WINE64")/wineserver
JOBS=${JOBS:-2}
failures=()

step() { echo; echo "=== $*"; }
fail() { echo "FAILED: $*"; failures+=("$*"); }

build() {  # build directory, toolchain file
  step "build $1"
  mkdir -p "$REPO/$1"
  timeout 1200 cmake -S "$REPO" -B "$REPO/$1" -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/$2" \
      -DCMAKE_BUILD_TYPE=Release >"$REPO/$1/configure.log" 2>&1 ||
    { cat "$REPO/$1/configure.log"; fail "configure $1"; return 1; }
  timeout 1800 cmake --build "$REPO/$1" -j"$JOBS" || { fail "build $1"; return 1; }
}

# The program must stand alone: no DLLs beyond those every Windows has.
check_imports() {  # objdump, exe, expected PE format
  local dlls
  if ! "$1" -p "$2" | grep -q "file format $3"; then fail "$2 is not $3"; return; fi
  dlls=$("$1" -p "$2" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
  echo "$2 imports: $dlls"
  [ "$dlls" = "KERNEL32.DLL MSVCRT.DLL USER32.DLL WINMM.DLL " ] || fail "imports of $2: $dlls"
}

built32=0; built64=0
build build-win32 toolchain-mingw-i686.cmake && built32=1
build build-win64 toolchain-mingw-x86_64.cmake && built64=1
[ $built32 = 1 ] && check_imports i686-w64-mingw32-objdump "$REPO/build-win32/varnoquelbit.exe" pei-i386
[ $built64 = 1 ] && check_imports x86_64-w64-mingw32-objdump "$REPO/build-win64/varnoquelbit.exe" pei-x86-64

if [ $built64 = 1 ]; then
  work=$(mktemp -d /tmp/varno-wine.XXXXXX)
  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  cleanup() { timeout 60 "$WINESERVER" -k >/dev/null 2>&1; rm -rf "$work"; }
  trap cleanup EXIT

  # A fresh prefix; its session runs with standard handles that stay valid.
  start_session() {
    timeout 60 "$WINESERVER" -p >/dev/null 2>&1
    timeout 300 "$WINE64" wineboot -i </dev/null >/dev/null 2>&1
  }
  step "wine prefix $WINEPREFIX"
  start_session || fail "wineboot"

  step "unit and Windows layer tests under wine64"
  (cd "$REPO/build-win64" && timeout 900 ctest --output-on-failure --timeout 600) ||
    fail "ctest in build-win64"

  step "whole runs under wine64"
  VARNO_WINE=$WINE64 VARNO_EXE=$REPO/build-win64/varnoquelbit.exe \
    VARNO_CLIPBOARD_TOOL=$REPO/build-win64/tests/clipboard_text.exe \
    timeout 1200 python3 "$REPO/tests/wine/test_windows_run.py" </dev/null ||
    fail "tests/wine/test_windows_run.py"

  # The portable part of the end-to-end suite; test_linux.py uses Linux's own means.
  step "end-to-end suite (test_portable) under wine64"
  start_session
  (cd "$REPO/tests/e2e" &&
    VARNO_COMMAND="$WINE64 $REPO/build-win64/varnoquelbit.exe" \
      VARNO_DRIVE_C=$WINEPREFIX/drive_c PYTHONDONTWRITEBYTECODE=1 \
      timeout 1800 python3 -m unittest -v test_portable </dev/null) ||
    fail "tests/e2e/test_portable.py under wine64"
fi

step "summary"
if [ ${#failures[@]} -ne 0 ]; then
  printf 'failed: %s\n' "${failures[@]}"
  exit 1
fi
echo "all Windows checks passed (the i686 program is built and inspected, not run)"
