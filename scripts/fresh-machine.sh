#!/usr/bin/env bash
# The README's two commands on a bare Debian machine: a bookworm chroot with nothing but git
# and make, a clone of this repository inside, then `make demo` and `make test` as root
# (so scripts/deps.sh installs what is missing). Needs root and debootstrap.
# FRESH_TESTS picks the tests run inside (a ctest -R pattern; empty runs them all).
set -euo pipefail
cd "$(dirname "$0")/.."
root=${FRESH_ROOT:-/var/tmp/morvane-fresh}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
pattern=${FRESH_TESTS-'Soe2|Kronecker|OrdaxProgram|known_answer.twin_first_3'}

start=$(date +%s)
if [ ! -x "$root/usr/bin/make" ]; then
  rm -rf "$root"
  debootstrap --variant=minbase --include=git,make,ca-certificates bookworm "$root" "$mirror"
fi
rm -rf "$root/src"
git clone -q . "$root/src"
mount --bind /proc "$root/proc"
trap 'umount "$root/proc"' EXIT
echo "== bare machine ready after $(( $(date +%s) - start ))s"
chroot "$root" /bin/sh -c "cd /src && make demo"
# The whole suite takes long on two cores: CI runs a subset here (FRESH_TESTS), the full
# suite runs outside the chroot.
chroot "$root" /bin/sh -c "cd /src && make test TESTS='$pattern'"
echo "== two commands on a bare machine: $(( $(date +%s) - start ))s"
