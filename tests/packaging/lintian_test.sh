#!/usr/bin/env bash
# The Debian package as Debian's own checker sees it: lintian, pedantic tags
# shown, reports no error and no warning; any override the package carries
# says why, in a comment above it.
# Usage: lintian_test.sh BUILD_DIR WORK
set -euo pipefail
build=$1
work=$2
fail() { echo "lintian_test: $*" >&2; exit 1; }

command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup.sh installs it)"
rm -rf "$work" && mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work" >/dev/null) || fail "cpack failed"
deb=$(ls "$work"/*.deb | head -n 1)

report=$(lintian --display-info --pedantic --fail-on error,warning "$deb" 2>&1 | grep -v '^running with root') ||
  fail "lintian reports errors or warnings: $(tr '\n' ';' <<<"$report")"

dpkg-deb -x "$deb" "$work/root"
# A comment gives the reason for the overrides that follow it, up to the
# next blank line.
overrides=$work/root/usr/share/lintian/overrides/demo
if [ -f "$overrides" ]; then
  reason=""
  while IFS= read -r line; do
    case "$line" in
      '') reason="" ;;
      \#*) reason=yes ;;
      *) [ -n "$reason" ] || fail "the override '$line' gives no reason in a comment above it" ;;
    esac
  done <"$overrides"
fi
echo "lintian: no errors or warnings in $(basename "$deb"); what it says besides: ${report:-nothing}"
