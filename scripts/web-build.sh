#!/usr/bin/env bash
# Builds the web version: build/web/site/ holds index.html, demo.js and
# demo.wasm, everything a static host serves. Installs what is missing first.
#   bash scripts/web-build.sh && cd build/web/site && python3 -m http.server
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-web.sh
# Debian's Emscripten finds its JavaScript optimiser's parser (node-acorn)
# through Debian's Node.js module folder, even where another Node.js comes
# first on the PATH.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
start=$(date +%s)
scripts/build.sh web
site=build/web/site
echo "web-build: $site in $(( $(date +%s) - start )) s:" \
  "demo.wasm $(stat -c %s "$site/demo.wasm") bytes, demo.js $(stat -c %s "$site/demo.js") bytes," \
  "index.html $(stat -c %s "$site/index.html") bytes"
