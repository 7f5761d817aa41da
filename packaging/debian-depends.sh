#!/usr/bin/env bash
# The Debian packages the programs need, as dpkg-shlibdeps works them out from
# the shared libraries they link: one Depends line ("libc6 (>= 2.34),
# libegl1, ..."), written to OUT. The .deb's Depends field and the .tar.gz's
# README both read that file, so the two cannot differ.
# Usage: debian-depends.sh OUT PROGRAM...
set -euo pipefail
out=$1
shift

# dpkg-shlibdeps runs in a source tree: it wants debian/control, and the
# programs where a package build would have put them.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/debian/demo/usr/bin" "$work/debian/demo/DEBIAN"
: >"$work/debian/control"
arguments=()
for program in "$@"; do
  cp "$program" "$work/debian/demo/usr/bin/"
  arguments+=("-edebian/demo/usr/bin/$(basename "$program")")
done
line=$(cd "$work" && dpkg-shlibdeps -O "${arguments[@]}")
[[ "$line" == shlibs:Depends=* ]] || { echo "debian-depends: dpkg-shlibdeps said '$line'" >&2; exit 1; }
echo "${line#shlibs:Depends=}" >"$out"
