#!/usr/bin/env bash
# How long the player takes to seek to a time of the demo (by default
# 81,000 ms, the end of the timeline), on a virtual X server, three runs of
# each for each device, each run's line and the median:
# - from nothing: `demo --start T --paused --stats`, the linked-in program;
# - back: begun paused a millisecond later, `,` steps back to T, which
#   ends the program's run and runs it again from its module, loaded afresh.
# The line says where the time went: ending and starting the program's run,
# and its frames up to T without pixel work.
# Usage: scripts/seek-bench.sh [DEMO] [TIME_MS]
set -euo pipefail
demo=${1:-build/default/bin/demo}
target=${2:-81000}
[ -x "$demo" ] || { echo "seek-bench: $demo is not built (bash scripts/build.sh)" >&2; exit 1; }
for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "seek-bench: $tool is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
server=
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
number=120
while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
export DISPLAY=":$number"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# One seek's line: how=start (from nothing) or back (a step back from T + 1).
measure() {
  local device=$1 how=$2 begin=$target
  [ "$how" = back ] && begin=$((target + 1))
  HOME=$work DEMO_DEVICE=$device "$demo" --windowed --stats --start "$begin" --paused 2>"$work/err" &
  local player=$!
  local said="^demo: at "
  for _ in $(seq 300); do grep -q "$said" "$work/err" && break; sleep 0.1; done
  if [ "$how" = back ]; then
    window=$(xdotool search --onlyvisible --name '^demo' | head -1)
    xdotool windowactivate --sync "$window" >/dev/null 2>&1
    xdotool key comma
    for _ in $(seq 300); do [ "$(grep -c "$said" "$work/err")" -ge 2 ] && break; sleep 0.1; done
  fi
  kill "$player" 2>/dev/null
  wait "$player" 2>/dev/null || true
  grep "$said" "$work/err" | tail -n +"$([ "$how" = back ] && echo 2 || echo 1)" | head -1
}

for device in software gl; do
  for how in start back; do
    seconds=()
    for run in 1 2 3; do
      line=$(measure "$device" "$how")
      [ -n "$line" ] || { echo "seek-bench: $device: the player said nothing of the seek: $(cat "$work/err")" >&2; exit 1; }
      echo "$device, $how, run $run: ${line#demo: }"
      seconds+=("$(sed -E 's/.* in ([0-9.]+) s:.*/\1/' <<<"$line")")
    done
    median=$(printf '%s\n' "${seconds[@]}" | sort -n | sed -n 2p)
    echo "$device: a seek to $target ms ($([ "$how" = back ] && echo "back, the program loaded afresh" || echo "from nothing")) takes $median s (median of 3)"
  done
done
