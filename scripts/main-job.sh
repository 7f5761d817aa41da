#!/usr/bin/env bash
# The demo's main job: set up, build, and run the demo. Where there is a
# display it plays the demo (`demo`, full screen; Escape ends it). With no
# display it records the whole timeline headless with the software device to
# out/demo.mp4 (H.264). Arguments go to demokit record (for example
# --from 20000 --to 30000, or --out out/demo.mkv --lossless).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh default

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ $# -eq 0 ]; then
  exec ./build/default/bin/demo
fi

mkdir -p out
./build/default/tools/demokit/demokit record --out out/demo.mp4 "$@"
./build/default/tools/demokit/demokit bench --from 20000 --to 22000
