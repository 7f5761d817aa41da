#!/usr/bin/env bash
# The installed tree stands on its own: `cmake --install` into a temporary
# prefix, then, with the build tree hidden from the installed programs (an
# empty file system mounted over it in a mount namespace of their own),
# `demo --version` and `demokit record --at 20440`, whose picture must be the
# build tree's demokit's.
# Usage: install_test.sh BUILD_DIR DEMOKIT
set -euo pipefail
build=$1
demokit=$2
fail() { echo "install_test: $*" >&2; exit 1; }

# Outside the build tree, which is hidden below.
work=$(mktemp -d /tmp/demo-install-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
for file in bin/demo bin/demokit lib/demo/demo-program.so share/applications/demo.desktop share/man/man1/demo.1.gz \
            share/man/man1/demokit.1.gz share/doc/demo/README.md share/doc/demo/copyright; do
  [ -e "$work/prefix/$file" ] || fail "$file is not installed"
done
"$demokit" record --at 20440 --out "$work/build-tree.png" >/dev/null

# The installed programs, with the build tree out of their sight.
hidden() {
  unshare --mount --propagation private sh -c 'mount -t tmpfs empty "$0" && exec "$@"' \
    "$(cd "$build" && pwd)" "$@"
}
if hidden true 2>/dev/null; then
  how="with the build tree hidden"
else
  # No mount namespace here: at least nothing in them points into it.
  how="(no mount namespace here: checked that no run path names the build tree)"
  for program in demo demokit; do
    if readelf -d "$work/prefix/bin/$program" | grep -E 'RPATH|RUNPATH' | grep -q "$build"; then
      fail "$program's run path names the build tree"
    fi
  done
  hidden() { "$@"; }
fi
version=$(hidden "$work/prefix/bin/demo" --version)
[[ "$version" =~ ^demo\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "installed demo --version says '$version'"
hidden "$work/prefix/bin/demokit" record --at 20440 --out "$work/installed.png" >/dev/null ||
  fail "the installed demokit record failed"
differ=$(compare -metric AE "$work/build-tree.png" "$work/installed.png" null: 2>&1 || true)
[ "$differ" = 0 ] || fail "the installed demokit's frame differs from the build tree's in $differ pixels"
echo "installed into $work/prefix: $version; the frame at 20440 ms is the build tree's, $how"
