#!/bin/sh
# Puts the demo into the desktop's menu for this user: a desktop entry that
# starts bin/demo of the folder this script is in, and the demo's icons,
# under $XDG_DATA_HOME (~/.local/share by default). --remove takes them away.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
data=${XDG_DATA_HOME:-$HOME/.local/share}
entry=$data/applications/demo.desktop

case "${1:-}" in
  --remove)
    rm -f "$entry"
    find "$data/icons/hicolor" -path '*/apps/demo.*' -type f -delete 2>/dev/null || true
    echo "register-desktop-entry: removed $entry and the demo's icons"
    exit 0 ;;
  '') ;;
  *)
    echo "usage: register-desktop-entry.sh [--remove]" >&2
    exit 2 ;;
esac

[ -x "$here/bin/demo" ] || { echo "register-desktop-entry: $here/bin/demo is missing" >&2; exit 1; }
mkdir -p "$data/applications" "$data/icons"
cp -R "$here/share/icons/hicolor" "$data/icons/"
# The installed entry names the program by its full path, quoted as the
# desktop entry format asks (a literal % doubled); the characters
# that would need escaping inside the quotes are refused instead.
case "$here" in
  *[\"\`\$\\]*)
    echo "register-desktop-entry: move the folder to a path without \", \`, \$ or \\ first" >&2
    exit 1 ;;
esac
program=$(printf '%s/bin/demo' "$here" | sed 's/%/%%/g')
while IFS= read -r line; do
  case "$line" in
    Exec=demo) printf 'Exec="%s"\n' "$program" ;;
    *) printf '%s\n' "$line" ;;
  esac
done <"$here/share/applications/demo.desktop" >"$entry"
echo "register-desktop-entry: wrote $entry (starts $here/bin/demo)"
