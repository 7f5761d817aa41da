#!/usr/bin/env bash
# How long the player takes to seek from nothing to a time of the demo (by
# default 81,000 ms, the end of the timeline): `demo --start T --paused
# --stats` on a virtual X server, three runs for each device, each run's
# line and the median. The line says where the time went: starting the
# program's run, and its frames up to T without pixel work.
# Usage: scripts/seek-bench.sh [DEMO] [TIME_MS]
set -euo pipefail
demo=${1:-build/default/bin/demo}
target=${2:-81000}
[ -x "$demo" ] || { echo "seek-bench: $demo is not built (bash scripts/build.sh)" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "seek-bench: Xvfb is not installed (scripts/setup.sh installs it)" >&2; exit 1; }

work=$(mktemp -d)
server=
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
number=120
while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
export DISPLAY=":$number"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

for device in software gl; do
  seconds=()
  for run in 1 2 3; do
    HOME=$work DEMO_DEVICE=$device "$demo" --windowed --stats --start "$target" --paused 2>"$work/err" &
    player=$!
    for _ in $(seq 300); do grep -q "^demo: at " "$work/err" && break; sleep 0.1; done
    kill "$player" 2>/dev/null; wait "$player" 2>/dev/null || true
    line=$(grep "^demo: at " "$work/err" || true)
    [ -n "$line" ] || { echo "seek-bench: $device: the player said nothing of the seek: $(cat "$work/err")" >&2; exit 1; }
    echo "$device run $run: ${line#demo: }"
    seconds+=("$(sed -E 's/.* in ([0-9.]+) s:.*/\1/' <<<"$line")")
  done
  median=$(printf '%s\n' "${seconds[@]}" | sort -n | sed -n 2p)
  echo "$device: a seek to $target ms takes $median s (median of 3)"
done
