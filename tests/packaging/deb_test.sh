#!/usr/bin/env bash
# The Debian package: made by CPack from the build, it holds the programs,
# the desktop entry with the icon it names, the man pages, the user's guide,
# a machine-readable copyright and a changelog whose newest entry is the
# package's version; it depends on the libraries the binaries need (computed
# by dpkg-shlibdeps), and its unpacked demokit runs.
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
for file in ./usr/bin/demo ./usr/bin/demokit ./usr/lib/demo/demo-program.so ./usr/share/applications/demo.desktop \
            ./usr/share/man/man1/demo.1.gz ./usr/share/man/man1/demokit.1.gz \
            ./usr/share/doc/demo/README.md ./usr/share/doc/demo/copyright ./usr/share/doc/demo/changelog.gz \
            ./usr/share/icons/hicolor/scalable/apps/demo.svg ./usr/share/icons/hicolor/48x48/apps/demo.png; do
  grep -q " $file\$" <<<"$contents" || fail "$(basename "$deb") lacks $file"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libsdl2-2.0-0 libpng16-16 libavcodec; do
  grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
done
version=$(dpkg-deb -f "$deb" Version)
[[ "$(basename "$deb")" == demo_${version}_*.deb ]] || fail "$(basename "$deb") does not carry the version $version"
dpkg-deb -x "$deb" "$work/root"
doc=$work/root/usr/share/doc/demo

# What the user reads is the user's guide, not the repository's build guide.
grep -q "^# demo: the user's guide" "$doc/README.md" || fail "README.md is not the user's guide"
! grep -q "scripts/" "$doc/README.md" || fail "README.md tells the user about the repository's scripts"
grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" "$doc/copyright" ||
  fail "copyright is not in the machine-readable format"
changelog_version=$(zcat "$doc/changelog.gz" | sed -n '1s/^demo (\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$version" ] ||
  fail "the changelog's newest entry is '$changelog_version', the package is $version: add an entry"

# The desktop entry is valid and its icon is in the package.
entry=$work/root/usr/share/applications/demo.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate refuses demo.desktop"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -n "$icon" ] || fail "demo.desktop names no icon"
ls "$work/root/usr/share/icons/hicolor/"*/apps/"$icon".* >/dev/null 2>&1 ||
  fail "demo.desktop names the icon '$icon', which the package does not hold"

said=$("$work/root/usr/bin/demokit" --version)
[ "$said" = "demokit $version" ] || fail "the unpacked demokit --version says '$said'"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends; the unpacked demokit says '$said'"
