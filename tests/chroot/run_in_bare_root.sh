#!/usr/bin/env bash
# Runs a command (by default the whole native test suite) as root inside a
# chroot whose root directory is a plain directory, not a mount, the way a
# debootstrap chroot or a container's odd root is: /proc/self/mountinfo then
# lists no mount that holds the root, the current directory or /tmp. The
# system's programs and libraries, the source and build trees and /dev are
# bind-mounted in, with any directories named in VARNO_BARE_ROOT_BINDS (say,
# where the build's python lives); /proc and /sys are mounted fresh, as a
# chroot's set-up does. Everything happens in a mount namespace of its own,
# so nothing is left mounted on the host when the command ends.
#
#   tests/chroot/run_in_bare_root.sh [build-dir] [command...]
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build_dir="$(cd "${1:-$source_dir/build}" && pwd)"
shift || true
if [ "$#" -eq 0 ]; then set -- ctest --test-dir "$build_dir" --output-on-failure; fi
if [ "$(id -u)" != 0 ]; then
  echo "run_in_bare_root.sh: needs root (mount namespaces and chroot)" >&2
  exit 1
fi

# The root lies on the same volume as /tmp, as a directory, never a mount.
root="$(mktemp -d "${TMPDIR:-/tmp}/varno-bare-root.XXXXXX")"
trap 'rm -rf --one-file-system "$root"' EXIT
chmod 755 "$root"  # a root directory every user may pass through

# Inside the namespace: bind the system in read-only, mount /proc, chroot.
inner='
set -euo pipefail
root=$1; source_dir=$2; build_dir=$3; shift 3
mount --make-rprivate /
for dir in /usr /bin /sbin /lib /lib32 /lib64 /libx32 /etc /dev; do
  [ -e "$dir" ] || continue
  if [ -L "$dir" ]; then cp -P "$dir" "$root$dir"; continue; fi
  mkdir -p "$root$dir"
  mount --rbind "$dir" "$root$dir"
done
for dir in "$source_dir" "$build_dir" ${VARNO_BARE_ROOT_BINDS:-}; do
  mkdir -p "$root$dir"
  mountpoint -q "$root$dir" || mount --bind "$dir" "$root$dir"
done
mkdir -p "$root/proc" "$root/sys" "$root/tmp" "$root/root"
chmod 1777 "$root/tmp"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
cd /
exec chroot "$root" /usr/bin/env -C "$build_dir" HOME=/root TMPDIR=/tmp "$@"
'
unshare --mount --propagation private bash -c "$inner" inner "$root" "$source_dir" "$build_dir" "$@"
