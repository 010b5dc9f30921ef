#!/bin/sh
# Runs its arguments as root: directly when it is root already (a fresh
# system or container may have no sudo), through sudo otherwise.
#
#   tools/as_root.sh apt-get install -y ./build-package/varnoquelbit_*.deb
set -eu
[ $# -gt 0 ] || { echo "usage: $0 command [argument...]" >&2; exit 2; }
if [ "$(id -u)" -eq 0 ]; then
  exec "$@"
fi
exec sudo "$@"
