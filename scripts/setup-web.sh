#!/usr/bin/env bash
# Installs what the web build and its browser test need on Debian 12 (run
# as root), without recommended packages, skipping apt-get when every
# package is already there: Debian's Emscripten (its system libraries come
# built, so nothing is downloaded), Chromium and its WebDriver.
set -euo pipefail

packages=(cmake python3 emscripten chromium chromium-driver)

"$(dirname "$0")/install-missing.sh" setup-web "${packages[@]}"
