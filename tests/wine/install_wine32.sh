#!/bin/sh
# Installs Debian's 32-bit wine (wine32:i386) beside wine64, as root.
#
# The i386 and amd64 copies of a Multi-Arch: same library must be the same
# version. When the mirror serves no usable i386 index for bookworm-security
# (seen: "File has unexpected size ... Mirror sync in progress?"), the i386
# libraries exist only at their point-release versions while apt's choice
# for amd64 is the security version, and apt refuses wine32:i386. Then, for
# this one install, apt is told to prefer, for both architectures, the
# version the i386 copy has of each such library wine32 needs (an apt
# preferences file; above priority 1000 apt may downgrade to it).
set -eu
here=$(dirname "$0")
export DEBIAN_FRONTEND=noninteractive

dpkg --add-architecture i386
"$here/../../tools/apt_update.sh"
install="apt-get install -y -qq --no-install-recommends wine64 wine32:i386"
if $install >/dev/null; then
  exit 0
fi

# "name version" for each name given, in apt's choice for one architecture.
candidates() {
  arch=$1
  shift
  for name in "$@"; do echo "$name:$arch"; done | xargs apt-cache policy |
    awk '/^[^ ]/ { sub(/:$/, ""); sub(/:(amd64|i386)$/, ""); name = $0 }
         /^  Candidate:/ && $2 != "(none)" { print name, $2 }' | sort
}

# The Multi-Arch: same libraries wine32 needs that this machine has for amd64.
shared=$(apt-cache depends --recurse --no-recommends --no-suggests \
           --no-conflicts --no-breaks --no-replaces --no-enhances wine32:i386 |
         grep -v '^[ <]' | sed 's/:i386$//' | sort -u |
         xargs dpkg-query -W -f='${Package} ${Multi-Arch}\n' 2>/dev/null |
         awk '$2 == "same" { print $1 }' | sort -u)
preferences=/etc/apt/preferences.d/varnoquelbit-wine32
trap 'rm -f "$preferences" /tmp/wine32.*.$$' EXIT
candidates i386 $shared >/tmp/wine32.i386.$$
candidates amd64 $shared >/tmp/wine32.amd64.$$
# Where the two choices differ, both architectures take the i386 one.
join /tmp/wine32.i386.$$ /tmp/wine32.amd64.$$ | awk '$2 != $3 { print $1, $2 }' >/tmp/wine32.pins.$$
pinned=""
: >"$preferences"
while read -r name wanted; do
  printf 'Package: %s\nPin: version %s\nPin-Priority: 1001\n\n' "$name" "$wanted" >>"$preferences"
  pinned="$pinned $name=$wanted"
done </tmp/wine32.pins.$$
echo "install_wine32.sh: both architectures at the i386 copies' versions:$pinned" >&2
$install --allow-downgrades >/dev/null
