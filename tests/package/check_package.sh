#!/usr/bin/env bash
# Runs the README's package commands (the first block under "Installing") as
# written, in a clean copy of the tree: they build the program alone, pack it
# with `cpack -G DEB` and install the package with apt-get. Then checks the
# package with lintian, runs the installed programs from PATH in a scratch
# directory, checks that the manual pages render without warnings and name
# the folder of each route (the package's /usr, and /usr/local for
# `cmake --install`, tried into a staging directory), and removes the package
# again. Needs root, dpkg-dev, file, lintian and man-db.
#
#   tests/package/check_package.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"

fail() { echo "check_package: $*" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The tree as it stands, without build directories or history.
mkdir "$scratch/src"
tar -C "$root" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$scratch/src" -xf -

block=$(awk '/^## Installing/ { section = 1; next }
             /^## / { section = 0 }
             section && /^```sh$/ { inside = 1; next }
             inside && /^```$/ { exit }
             inside { print }' "$root/README.md")
[ -n "$block" ] || fail "no command block under Installing in README.md"
echo "check_package: running the README's package commands:"
echo "$block"
# apt-get asks before it installs what the package depends on: answer yes.
(cd "$scratch/src" && bash -euo pipefail -c "$block" < <(yes)) ||
  fail "the README's package commands failed"
trap 'dpkg -r varnoquelbit >/dev/null; rm -rf "$scratch"' EXIT

build="$scratch/src/build-package"
debs=("$build"/varnoquelbit_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, found: ${debs[*]}"
deb="${debs[0]}"
dpkg-deb --info "$deb"
contents=$(dpkg-deb --contents "$deb")
echo "$contents"

# The package's dependencies: the libraries the program links, and Python
# for varnoquelbit-compare.
depends=$(dpkg-deb --field "$deb" Depends)
for library in libc6 libstdc++6; do
  [[ "$depends" == *"$library "* ]] || fail "Depends lacks $library: $depends"
done
[[ ", $depends," == *", python3,"* ]] || fail "Depends lacks python3: $depends"
[ "$(dpkg-deb --field "$deb" Recommends)" = python3-matplotlib ] ||
  fail "Recommends is not python3-matplotlib"
for path in ./usr/bin/varnoquelbit ./usr/share/man/man1/varnoquelbit.1.gz \
            ./usr/bin/varnoquelbit-compare ./usr/share/man/man1/varnoquelbit-compare.1.gz \
            ./usr/share/varnoquelbit/varnoquelbit_compare/command.py \
            ./usr/share/varnoquelbit/varnoquelbit_compare/page.js \
            ./usr/share/doc/varnoquelbit/result.schema.json \
            ./usr/share/doc/varnoquelbit/README.md ./usr/share/doc/varnoquelbit/copyright \
            ./usr/share/doc/varnoquelbit/changelog.gz \
            ./usr/share/doc/varnoquelbit/examples/Varnoquelbit.ini; do
  grep -q " $path\$" <<<"$contents" || fail "$path missing from the package"
done

! grep -q __pycache__ <<<"$contents" || fail "the package holds Python bytecode caches"

lintian --fail-on error --display-info "$deb"

[ "$(dpkg-query -W -f='${db:Status-Status}' varnoquelbit)" = installed ] ||
  fail "the package is not installed"
[ "$(command -v varnoquelbit)" = /usr/bin/varnoquelbit ] || fail "varnoquelbit is not on PATH"
[ "$(command -v varnoquelbit-compare)" = /usr/bin/varnoquelbit-compare ] ||
  fail "varnoquelbit-compare is not on PATH"

# The manual pages render without a single warning.
for page in /usr/share/man/man1/varnoquelbit.1.gz /usr/share/man/man1/varnoquelbit-compare.1.gz; do
  warnings=$( { zcat "$page" | groff -man -ww -z; } 2>&1)
  [ -z "$warnings" ] || fail "groff $page: $warnings"
  warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
MANWIDTH=80 man -l /usr/share/man/man1/varnoquelbit.1.gz | head -n 12
# Each route's page names the folder its example configuration is in.
MANWIDTH=200 man -l /usr/share/man/man1/varnoquelbit.1.gz |
  grep -q "cp /usr/share/doc/varnoquelbit/examples/Varnoquelbit.ini \." ||
  fail "the package's manual page does not name /usr/share/doc for the example"
DESTDIR="$scratch/stage" cmake --install "$build" >/dev/null
local_doc=/usr/local/share/doc/varnoquelbit
[ -f "$scratch/stage$local_doc/examples/Varnoquelbit.ini" ] || fail "no example under $local_doc"
MANWIDTH=200 man -l "$scratch/stage/usr/local/share/man/man1/varnoquelbit.1.gz" |
  grep -q "cp $local_doc/examples/Varnoquelbit.ini \." ||
  fail "cmake --install's manual page does not name $local_doc for the example"

# varnoquelbit-compare from PATH: the installed example is a run it reads,
# anything else exits 2 with one line.
varnoquelbit-compare /usr/share/doc/varnoquelbit/result.example.json ||
  fail "varnoquelbit-compare on the example: exit status $?"
varnoquelbit-compare --html "$scratch/runs.html" --markdown \
  /usr/share/doc/varnoquelbit/result.example.json > "$scratch/runs.md" ||
  fail "varnoquelbit-compare --html on the example: exit status $?"
grep -q '<table id="results">' "$scratch/runs.html" && grep -q '^| HL C: 64M' "$scratch/runs.md" ||
  fail "varnoquelbit-compare wrote no page or no Markdown table"
echo "not a result" > "$scratch/junk.json"
status=0
varnoquelbit-compare "$scratch/junk.json" 2> "$scratch/junk.err" || status=$?
[ "$status" -eq 2 ] && [ "$(wc -l < "$scratch/junk.err")" -eq 1 ] ||
  fail "varnoquelbit-compare on junk: exit status $status, $(cat "$scratch/junk.err")"

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
