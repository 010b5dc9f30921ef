#!/bin/sh
# Installs the Debian or Ubuntu packages that building Varnoquelbit needs
# ("build": the program alone), that building it and running every test
# need ("test"), that building it and packing it with `cpack -G DEB` need
# ("package"), or the browser the test of varnoquelbit-compare's HTML page
# drives ("browser", on top of "test"; without it that test is skipped).
# Runs apt-get directly as root and through sudo otherwise; does nothing
# when every package is already installed.
#
#   tools/install_packages.sh build|test|package|browser
set -eu

build_packages="cmake g++ make gzip nlohmann-json3-dev"
case "${1:-}" in
  build) packages="$build_packages" ;;
  # GoogleTest, Python for the end-to-end tests, the tools the platform
  # tests use to make and mount small file systems (ext4, XFS, btrfs), and
  # FUSE for the volume whose reads lie; JSON Schema and matplotlib for the
  # results tools' tests.
  test) packages="$build_packages libgtest-dev python3 e2fsprogs util-linux mount coreutils
                  xfsprogs btrfs-progs python3-fuse fuse3 python3-jsonschema python3-matplotlib" ;;
  # cpack's DEB generator needs file; dpkg-dev's dpkg-shlibdeps finds the
  # libraries the package depends on.
  package) packages="$build_packages dpkg-dev file" ;;
  # Headless Chromium, its WebDriver and Selenium to drive it from Python.
  browser) packages="chromium chromium-driver python3-selenium" ;;
  *) echo "usage: $0 build|test|package|browser" >&2; exit 2 ;;
esac

missing=""
for package in $packages; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing="$missing $package"
done
[ -n "$missing" ] || exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
else
  as_root="sudo"
fi
echo "Installing:$missing"
"$(dirname "$0")/apt_update.sh"
$as_root env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends $missing
