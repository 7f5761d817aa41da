#!/usr/bin/env bash
# Installs those of the named Debian packages that are not installed yet,
# without recommended packages (run as root); apt-get is not run at all when
# every one is there. The first argument names the caller in the progress line.
#   scripts/install-missing.sh setup cmake g++ ...
set -euo pipefail

who="$1"
shift
# A bare name that dpkg finds ambiguous (the package is there for two
# architectures) is asked again as the machine's own.
native=$(dpkg --print-architecture)
missing=()
for package in "$@"; do
  dpkg -s "$package" >/dev/null 2>&1 || dpkg -s "$package:$native" >/dev/null 2>&1 || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "$who: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Packages of another architecture (name:i386) need it added first.
  for package in "${missing[@]}"; do
    if [[ "$package" == *:* ]] && ! dpkg --print-foreign-architectures | grep -qx "${package##*:}"; then
      dpkg --add-architecture "${package##*:}"
    fi
  done
  # A mirror caught mid-sync serves an index of the wrong size for a while:
  # ask again after a pause; if one index still fails, the others were
  # read, and the install says whether what it needs could be found.
  for attempt in 1 2 3; do
    apt-get update -q && break
    if [ "$attempt" -eq 3 ]; then
      echo "$who: apt-get update still fails for some index; installing from the ones it read" >&2
      break
    fi
    echo "$who: apt-get update failed; trying again in $((attempt * 15)) s"
    sleep $((attempt * 15))
  done
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
