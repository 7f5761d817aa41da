#!/usr/bin/env bash
# Installs what the web build and its browser test need on Debian 12 (run
# as root), without recommended packages, skipping apt-get when every
# package is already there: Debian's Emscripten (its system libraries come
# built, so nothing is downloaded), Chromium and its WebDriver.
set -euo pipefail

packages=(cmake python3 emscripten chromium chromium-driver)

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-web: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
