#!/usr/bin/env bash
# The player in a real window on a virtual X server, with each device:
# after a second the screen shows the text wall; Escape sent with xdotool
# ends it with 0; the window manager's close request ends it with 0; it
# shows no more frames than the display's 60 a second (the server has no
# retrace to wait for: the player keeps to the rate itself). With
# no display at all it ends with -1 (255) and one line on stderr.
# Usage: player_window_test.sh DEMO CLOSE_WINDOW WORKDIR
set -uo pipefail
demo=$1
close_window=$2
work=$3
mkdir -p "$work"

fail() { echo "player_window_test: $*" >&2; exit 1; }

# A free display number, and the server on it.
number=90
while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null' EXIT
export DISPLAY=":$number"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"

# Starts the player, waits until its window is mapped.
# A start whose player ended without a window is tried once more, with
# the first one's stderr shown.
start() {
  for attempt in 1 2; do
    DEMO_DEVICE=$1 DEMO_STATS=1 "$demo" 2>"$work/$1.err" &
    player=$!
    for _ in $(seq 100); do
      xdotool search --onlyvisible --name '^demo$' >/dev/null 2>&1 && return
      kill -0 "$player" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$player" 2>/dev/null && break
    echo "$1: start $attempt ended without a window: $(cat "$work/$1.err")"
  done
  fail "$1: no window appeared"
}

# Waits for the player to end; its exit code must be 0.
expect_exit_zero() {
  local waited=0
  while kill -0 "$player" 2>/dev/null; do
    [ $waited -ge 300 ] && { kill "$player"; fail "$1: did not end after $2"; }
    sleep 0.1; waited=$((waited + 1))
  done
  wait "$player"; local code=$?
  [ $code -eq 0 ] || fail "$1: exit code $code after $2 ($(cat "$work/$1.err"))"
}

for device in gl software; do
  start "$device"
  sleep 1
  import -window root "$work/$device.png" || fail "$device: no screenshot"
  # The wall's cubes are white on black: a good share of the screen is
  # near white, and not all of it.
  white=$(convert "$work/$device.png" -colorspace gray -threshold 80% -format '%[fx:mean]' info:)
  echo "$device: near-white share of the screen after a second: $white"
  awk -v w="$white" 'BEGIN { exit !(w > 0.02 && w < 0.9) }' || fail "$device: the screen does not show the text wall"
  xdotool key Escape
  expect_exit_zero "$device" "Escape"
  fps=$(grep -o '[0-9.]* fps median' "$work/$device.err" | cut -d' ' -f1)
  [ -n "$fps" ] || fail "$device: no frame rate on stderr ($(cat "$work/$device.err"))"
  echo "$device: $fps frames a second, median"
  awk -v f="$fps" 'BEGIN { exit !(f <= 62) }' || fail "$device: $fps frames a second, more than the display shows"

  start "$device"
  sleep 0.5
  "$close_window" demo || fail "$device: could not close the window"
  expect_exit_zero "$device" "the close request"
  echo "$device: Escape and closing the window both end the player with 0"
done

# No display: the program cannot load its window system.
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$demo" 2>"$work/nodisplay.err"
code=$?
[ $code -eq 255 ] || fail "no display: exit code $code, expected 255"
[ "$(wc -l <"$work/nodisplay.err")" -eq 1 ] || fail "no display: stderr is not one line"
grep -q 'demokit record' "$work/nodisplay.err" || fail "no display: stderr does not point to demokit record"
echo "no display: exit code 255, $(cat "$work/nodisplay.err")"
