#!/usr/bin/env bash
# The demo's main job: set up, build, and run the demo. Where there is a
# display it plays the demo (`demo`, full screen; Escape ends it). With no
# display it records the whole timeline headless with the software device, to
# out/demo.mp4 when the ffmpeg program is there (it is installed when
# missing), else to PNG frames in out/frames. Arguments go to demokit record
# (for example --from 20000 --to 30000).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
if ! command -v ffmpeg >/dev/null 2>&1; then
  echo "main job: installing ffmpeg for the video"
  { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ffmpeg >/dev/null; } 2>&1 ||
    echo "main job: ffmpeg could not be installed; writing PNG frames instead"
fi
scripts/build.sh default

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ $# -eq 0 ]; then
  exec ./build/default/bin/demo
fi

mkdir -p out
if command -v ffmpeg >/dev/null 2>&1; then
  target=out/demo.mp4
else
  target=out/frames
fi
./build/default/tools/demokit/demokit record --out "$target" "$@"
./build/default/tools/demokit/demokit bench --from 20000 --to 22000
