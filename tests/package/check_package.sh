#!/usr/bin/env bash
# Builds the program alone (no tests, GoogleTest kept out of reach), packs it
# with `cpack -G DEB`, checks the package with lintian, installs it with
# dpkg, runs the installed program from PATH in a scratch directory, checks
# that its manual page renders without warnings, and removes the package
# again. Needs root, dpkg-dev, file, lintian and man-db.
#
#   tests/package/check_package.sh [build directory]   (default: build-package)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-package}"

fail() { echo "check_package: $*" >&2; exit 1; }

rm -rf "$build"
cmake -S "$root" -B "$build" -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON --no-warn-unused-cli
cmake --build "$build" -j2
(cd "$build" && cpack -G DEB)
debs=("$build"/varnoquelbit_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, found: ${debs[*]}"
deb="${debs[0]}"
dpkg-deb --info "$deb"
contents=$(dpkg-deb --contents "$deb")
echo "$contents"

# The package's dependencies come from the libraries the program links.
depends=$(dpkg-deb --field "$deb" Depends)
for library in libc6 libstdc++6; do
  [[ "$depends" == *"$library "* ]] || fail "Depends lacks $library: $depends"
done
for path in ./usr/bin/varnoquelbit ./usr/share/man/man1/varnoquelbit.1.gz \
            ./usr/share/doc/varnoquelbit/README.md ./usr/share/doc/varnoquelbit/copyright \
            ./usr/share/doc/varnoquelbit/changelog.gz \
            ./usr/share/doc/varnoquelbit/examples/Varnoquelbit.ini; do
  grep -q " $path\$" <<<"$contents" || fail "$path missing from the package"
done

lintian --fail-on error --display-info "$deb"

dpkg -i "$deb"
trap 'dpkg -r varnoquelbit >/dev/null' EXIT
[ "$(command -v varnoquelbit)" = /usr/bin/varnoquelbit ] || fail "varnoquelbit is not on PATH"

# The manual page renders without a single warning.
page=/usr/share/man/man1/varnoquelbit.1.gz
warnings=$( { zcat "$page" | groff -man -ww -z; } 2>&1)
[ -z "$warnings" ] || fail "groff: $warnings"
warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man: $warnings"
MANWIDTH=80 man -l "$page" | head -n 12

scratch=$(mktemp -d)
trap 'dpkg -r varnoquelbit >/dev/null; rm -rf "$scratch"' EXIT

# The example configuration as installed: both its tests run.
cp /usr/share/doc/varnoquelbit/examples/Varnoquelbit.ini "$scratch/"
(cd "$scratch" && varnoquelbit < /dev/null > example.txt) || fail "exit status $?"
cat "$scratch/example.txt"
! grep -q "ini error" "$scratch/example.txt" || fail "the example has error lines"
[ "$(grep -o 'Preparing\.\.\. Testing\.\.\. Done\.' "$scratch/example.txt" | wc -l)" -eq 6 ] ||
  fail "not every trial of the example got through"

# The installed program on a small configuration, in a scratch directory,
# with a quoted drive string naming a directory with a blank in its name.
mkdir "$scratch/USB DISK"
cat > "$scratch/Varnoquelbit.ini" <<EOF
# A small run of both methods.
HL C: 1M 4 1
LL "$scratch/USB DISK" 64K 4K 4 1
EOF
(cd "$scratch" && varnoquelbit < /dev/null > console.txt) || fail "exit status $?"
cat "$scratch/console.txt"
# A trial of 0 ms leaves its line open, so a disk line may follow on it.
grep -q "Disk $scratch/USB DISK Capacity: Total=" "$scratch/console.txt" ||
  fail "no disk line for the quoted drive string"
[ "$(grep -o 'Preparing\.\.\. Testing\.\.\. Done\.' "$scratch/console.txt" | wc -l)" -eq 2 ] ||
  fail "not every trial got through"
grep -q "^(To Copy the Result to the Clipboard, Press 'c'.)\$" "$scratch/console.txt" ||
  fail "no closing prompt"
grep -qF "LL $scratch/USB DISK  64K (Buffer:  4K)    4File(s)  1Trial(s) : " "$scratch/result.txt" ||
  fail "result.txt lacks the LL test's line"
if ls -d "$scratch"/Varnoquelbit[0-9]* "$scratch/USB DISK"/Varnoquelbit[0-9]* 2>/dev/null; then
  fail "work directories left behind"
fi
echo "check_package: $(basename "$deb") passed"
