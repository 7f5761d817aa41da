#!/usr/bin/env bash
# The web archive as someone unpacks it: one folder, holding the three files
# a static host serves and a README that says how to serve them and why the
# page cannot start from disk, followed by the user's guide. The sizes the
# repository's README gives for the site are true (within a tenth).
# Usage: web_archive_test.sh WEB_BUILD_DIR REPOSITORY_README WORK
set -euo pipefail
web=$1
readme=$2
work=$3
fail() { echo "web_archive_test: $*" >&2; exit 1; }

archive=$(ls "$web"/demo-*-web.zip 2>/dev/null | head -n 1)
[ -n "$archive" ] || fail "no web archive in $web: build the web version first (scripts/web-build.sh)"
rm -rf "$work" && mkdir -p "$work"
(cd "$work" && unzip -q "$archive")
tops=$(ls -A "$work")
[ "$(wc -l <<<"$tops")" -eq 1 ] && [ -d "$work/$tops" ] || fail "$(basename "$archive") unpacks into '$tops', not one folder"
for file in index.html demo.js demo.wasm README.md; do
  [ -f "$work/$tops/$file" ] || fail "$(basename "$archive") lacks $tops/$file"
done
guide=$work/$tops/README.md
grep -q "python3 -m http.server" "$guide" || fail "the README does not say how to serve the folder"
grep -q "file://" "$guide" || fail "the README does not say why the page cannot start from disk"
grep -q "the user's guide" "$guide" || fail "the README does not hold the user's guide"

# "about N KB together" in the repository's README: the three files' size.
bytes=$(cat "$work/$tops"/{index.html,demo.js,demo.wasm} | wc -c)
stated=$(tr '\n' ' ' <"$readme" | sed -n 's/.*`demo\.wasm` (about \([0-9]*\) *KB together.*/\1/p')
[ -n "$stated" ] || fail "the README gives no size for the site"
actual=$(( (bytes + 500) / 1000 )) # kB of 1,000 bytes
[ $(( stated * 10 )) -ge $(( actual * 9 )) ] && [ $(( stated * 10 )) -le $(( actual * 11 )) ] ||
  fail "the README says the site is about $stated KB; it is $actual KB"
echo "$(basename "$archive"): one folder, $tops/, with README.md; the site is $actual KB (the README says about $stated)"
