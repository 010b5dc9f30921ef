#!/bin/bash
# Builds the Windows program as shipped (i686, mingw-w64) with its tests,
# checks what it imports, and runs it with Debian's 32-bit wine through
# tests/wine/wine32.sh: the unit tests, the Windows layer's tests (files past
# 2 GiB and 4 GiB among them), whole runs of the program and the portable
# end-to-end suite, in a 32-bit prefix (a 32-bit Windows); then the OS names
# in a 64-bit prefix, where the program runs as on 64-bit Windows (WOW64).
# Exits non-zero when any step fails.
#
# Needs (Debian 12): cmake make python3 googletest g++-mingw-w64-i686-win32
# wine64 wine32:i386 (dpkg --add-architecture i386 first), util-linux, and
# Linux 6.7 or later for the private binfmt_misc of wine32.sh.
# Takes about 5 minutes on 2 cores: 1 to build, 4 to run under emulation.
set -u

REPO=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$REPO/build-win32
WINE32=$REPO/tests/wine/wine32.sh
JOBS=${JOBS:-2}
failures=()

step() { echo; echo "=== $*  [${SECONDS}s]"; }
fail() { echo "FAILED: $*"; failures+=("$*"); }
summary() {  # what this part checked
  step "summary"
  if [ ${#failures[@]} -ne 0 ]; then
    printf 'failed: %s\n' "${failures[@]}"
    exit 1
  fi
  echo "$1"
}

# Everything that runs Windows programs, inside wine32.sh's environment.
emulated_tests() {
  local exe=$BUILD/varnoquelbit.exe clipboard=$BUILD/tests/clipboard_text.exe
  # Global, not local: the exit trap runs after the function's variables are gone.
  work=$(mktemp -d /tmp/varno-wine32.XXXXXX)
  export WINEPREFIX=$work/prefix WINEDLLOVERRIDES="mscoree,mshtml="
  trap 'timeout 60 "$WINESERVER" -k >/dev/null 2>&1; rm -rf "$work"' EXIT
  # A fresh prefix whose session runs with standard handles that stay valid.
  start_session() {
    timeout 60 "$WINESERVER" -p >/dev/null 2>&1
    timeout 300 "$VARNO_WINE" wineboot -i </dev/null >/dev/null 2>&1
  }
  step "32-bit wine prefix $WINEPREFIX"
  start_session || fail "wineboot"

  step "unit and Windows layer tests"
  (cd "$BUILD" && timeout 900 ctest --output-on-failure --timeout 600) || fail "ctest in build-win32"

  step "whole runs"
  VARNO_EXE=$exe VARNO_CLIPBOARD_TOOL=$clipboard \
    timeout 1200 python3 "$REPO/tests/wine/test_windows_run.py" </dev/null ||
    fail "tests/wine/test_windows_run.py"

  # The portable part of the end-to-end suite; test_linux.py uses Linux's own means.
  step "end-to-end suite (test_portable)"
  start_session
  (cd "$REPO/tests/e2e" &&
    VARNO_COMMAND="$VARNO_WINE $exe" VARNO_DRIVE_C=$WINEPREFIX/drive_c PYTHONDONTWRITEBYTECODE=1 \
      timeout 1800 python3 -m unittest -v test_portable </dev/null) ||
    fail "tests/e2e/test_portable.py"
  timeout 60 "$WINESERVER" -k >/dev/null 2>&1

  # A 64-bit prefix, made by the native wine64, runs the 32-bit program the
  # way 64-bit Windows does; the OS line then names the 64-bit systems.
  step "OS names in a 64-bit prefix"
  export WINEPREFIX=$work/prefix64
  (unset WINEARCH
   timeout 300 "${WINE64:-/usr/lib/wine/wine64}" wineboot -i </dev/null >/dev/null 2>&1
   VARNO_EXE=$exe timeout 600 python3 "$REPO/tests/wine/test_windows_run.py" OsLine </dev/null) ||
    fail "OS names in a 64-bit prefix"
  summary "all Windows checks passed under 32-bit wine"
}

if [ "${1:-}" = "--emulated" ]; then
  emulated_tests
  exit
fi

step "build build-win32"
mkdir -p "$BUILD"
if ! timeout 1200 cmake -S "$REPO" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/toolchain-mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$BUILD/configure.log" 2>&1; then
  cat "$BUILD/configure.log"; fail "configure build-win32"; summary ""
fi
timeout 1800 cmake --build "$BUILD" -j"$JOBS" || { fail "build build-win32"; summary ""; }

# The program must stand alone (no DLLs beyond those every Windows has) and
# import only what the oldest Windows it claims has: every import is one of
# tests/wine/reviewed_imports.txt, checked against that floor.
step "imports of varnoquelbit.exe"
objdump=i686-w64-mingw32-objdump
exe=$BUILD/varnoquelbit.exe
if ! "$objdump" -p "$exe" | grep -q "file format pei-i386"; then
  fail "$exe is not pei-i386"
else
  dlls=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
  echo "DLLs: $dlls"
  [ "$dlls" = "KERNEL32.DLL MSVCRT.DLL USER32.DLL WINMM.DLL " ] || fail "DLLs of $exe: $dlls"
  unreviewed=$("$objdump" -p "$exe" |
    awk '/DLL Name:/ { dll = toupper($3) } /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll, $3 }' |
    sort -u | grep -vxF -f <(grep -v '^#' "$REPO/tests/wine/reviewed_imports.txt"))
  [ -z "$unreviewed" ] || fail "imports not in tests/wine/reviewed_imports.txt: $(echo $unreviewed)"
  subsystem=$("$objdump" -p "$exe" | awk '/^MajorSubsystemVersion/ { major = $2 }
    /^MinorSubsystemVersion/ { minor = $2 } END { print major "." minor }')
  [ "$subsystem" = "4.0" ] || fail "subsystem version $subsystem (Windows NT 4.0 loads 4.0 images)"
fi

step "32-bit wine (tests/wine/wine32.sh)"
if "$WINE32" setup; then
  "$WINE32" --within "$0" --emulated || fail "tests under 32-bit wine"
else
  fail "wine32.sh setup"
fi
summary "all Windows checks passed"
