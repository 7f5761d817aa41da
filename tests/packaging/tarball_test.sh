#!/usr/bin/env bash
# The .tar.gz as someone unpacks it in a folder of their own choosing (one
# with a space in its path): its README names the Debian packages, the same
# list as the .deb's Depends, and every library the programs load (ldd) comes
# from one of them or from what they depend on; the programs run from any
# folder; its script writes a valid desktop entry that starts the unpacked
# player, with the icon, and takes it away again.
# Usage: tarball_test.sh BUILD_DIR WORK
set -euo pipefail
build=$1
work=$2
fail() { echo "tarball_test: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work/packages" "$work/unpacked here" "$work/data"
(cd "$build" && cpack -G TGZ -B "$work/packages" >/dev/null) || fail "cpack failed"
archive=$(ls "$work"/packages/*.tar.gz | head -n 1)
tar xzf "$archive" -C "$work/unpacked here"
tree=$(ls -d "$work/unpacked here"/*/)
tree=${tree%/}
[ -f "$tree/README.md" ] || fail "the archive has no README.md at its top"

# The packages the README names, against the .deb's computed list.
named=$(sed -n 's/^ *sudo apt-get install //p' "$tree/README.md" | head -n 1)
[ -n "$named" ] || fail "the README names no packages to install"
computed=$(sed -e 's/ *([^)]*)//g' -e 's/,//g' "$build/packaging/depends.txt")
[ "$named" = "$computed" ] || fail "the README names '$named', the .deb depends on '$computed'"

# Every package reached from those through Depends and Pre-Depends.
declare -A reached=()
queue=($named)
while [ ${#queue[@]} -gt 0 ]; do
  package=${queue[0]}
  queue=("${queue[@]:1}")
  [ -n "${reached[$package]:-}" ] && continue
  reached[$package]=1
  fields=$(dpkg-query -W -f='${Depends}, ${Pre-Depends}' "$package" 2>/dev/null || true)
  for dependency in $(sed -e 's/([^)]*)//g' -e 's/[,|]/ /g' -e 's/:any//g' <<<"$fields"); do
    queue+=("$dependency")
  done
done

# The libraries the programs load, and the package of each as dpkg knows
# the file: the merged /usr means it may know it under /lib or /usr/lib, or
# only by its link's target, so each name is asked in turn, all at once.
mapfile -t libraries < <(for program in demo demokit; do ldd "$tree/bin/$program"; done |
  sed -n 's/.*=> \(\/[^ ]*\) .*/\1/p; s/^\t\(\/[^ ]*\) .*/\1/p' | sort -u)
declare -A owner=()
for form in as-loaded under-usr canonical; do
  declare -A asked=()
  for library in "${libraries[@]}"; do
    [ -n "${owner[$library]:-}" ] && continue
    case $form in
      as-loaded) asked[$library]=$library ;;
      under-usr) asked["/usr${library#/usr}"]=$library ;;
      canonical) asked["$(readlink -f "$library")"]=$library ;;
    esac
  done
  [ ${#asked[@]} -eq 0 ] && break
  while IFS= read -r line; do
    path=${line#*: }
    [ -n "${asked[$path]:-}" ] && owner[${asked[$path]}]=${line%%:*}
  done < <(dpkg -S "${!asked[@]}" 2>/dev/null || true)
  unset asked
done
for library in "${libraries[@]}"; do
  package=${owner[$library]:-}
  [ -n "$package" ] || fail "no package provides $library, which the programs load"
  [ -n "${reached[$package]:-}" ] || fail "the programs load $library from $package, which the README's packages do not bring"
done

# The programs from another folder.
version=$(cd / && "$tree/bin/demo" --version) || fail "bin/demo --version failed outside its folder"
(cd / && "$tree/bin/demokit" --version >/dev/null) || fail "bin/demokit --version failed outside its folder"

# The desktop entry, registered from where the archive was unpacked.
XDG_DATA_HOME=$work/data "$tree/register-desktop-entry.sh" >/dev/null || fail "register-desktop-entry.sh failed"
entry=$work/data/applications/demo.desktop
desktop-file-validate "$entry" || fail "the registered desktop entry is not valid"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ "$exec_line" = "\"$tree/bin/demo\"" ] || fail "the registered entry starts '$exec_line', not the unpacked bin/demo"
said=$(eval "$exec_line --version") || fail "the registered entry's program does not run"
[ "$said" = "$version" ] || fail "the registered entry's program says '$said'"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$work/data/icons/hicolor/48x48/apps/$icon.png" ] || fail "the registered entry's icon '$icon' was not installed"
XDG_DATA_HOME=$work/data "$tree/register-desktop-entry.sh" --remove >/dev/null
[ ! -e "$entry" ] && [ -z "$(find "$work/data/icons" -name "$icon.*")" ] || fail "--remove left the entry or icons"

echo "$(basename "$archive"): the README's packages ($named) bring all ${#libraries[@]} libraries the programs load; the desktop entry starts $tree/bin/demo"
