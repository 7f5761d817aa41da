#!/usr/bin/env bash
# The Debian package: made by CPack from the build, it holds the programs,
# the desktop entry and the man pages, depends on the libraries the binaries
# need (computed by dpkg-shlibdeps), and its unpacked demokit runs.
# Usage: deb_test.sh BUILD_DIR WORK
set -euo pipefail
build=$1
work=$2
fail() { echo "deb_test: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work" >/dev/null) || fail "cpack failed"
deb=$(ls "$work"/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no .deb made"
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/demo ./usr/bin/demokit ./usr/share/applications/demo.desktop \
            ./usr/share/man/man1/demo.1.gz ./usr/share/man/man1/demokit.1.gz ./usr/share/doc/demo/NOTICE; do
  grep -q " $file\$" <<<"$contents" || fail "$(basename "$deb") lacks $file"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libsdl2-2.0-0 libpng16-16 libavcodec; do
  grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
done
version=$(dpkg-deb -f "$deb" Version)
[[ "$(basename "$deb")" == demo_${version}_*.deb ]] || fail "$(basename "$deb") does not carry the version $version"
dpkg-deb -x "$deb" "$work/root"
said=$("$work/root/usr/bin/demokit" --version)
[ "$said" = "demokit $version" ] || fail "the unpacked demokit --version says '$said'"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends; the unpacked demokit says '$said'"
