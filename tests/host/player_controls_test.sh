#!/usr/bin/env bash
# The viewer's keys in the player, in a window on a virtual X server with a
# window manager (full screen is the window manager's to give), for each
# device:
# - Space pauses: the title says so, two screenshots a second apart are
#   the same, and the player uses under a tenth of a second of processor
#   time in two paused seconds; Space again plays on;
# - F12, paused, writes the picture as a PNG into the pictures folder; the
#   software device's equals the window's picture;
# - Alt+Enter and F11 each switch between a window and the whole screen;
# - Escape still ends it with 0;
# - --start 40840 --paused shows the frame `demokit record --at 40840` makes
#   on the same device: the software device's bit for bit, the OpenGL
#   device's within a level on all but a few edge pixels; and so do a seek
#   forward (Right: 45840), a seek back (Left: 40840 again, the program run
#   afresh from its module) and a frame step (.: 40850) from there;
# - --loop starts again at the beginning when the timeline ends.
# Usage: player_controls_test.sh DEMO DEMOKIT WORKDIR
set -uo pipefail
demo=$1
demokit=$2
work=$3
rm -rf "$work" && mkdir -p "$work"

fail() { echo "player_controls_test: $*" >&2; exit 1; }

server=
manager=
player=
trap 'kill $player $manager $server 2>/dev/null; wait 2>/dev/null' EXIT
number=90
while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
server=$!
export DISPLAY=":$number"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
command -v openbox >/dev/null || fail "openbox is not installed (scripts/setup.sh installs it)"
openbox --config-file /dev/null >"$work/openbox.log" 2>&1 &
manager=$!
sleep 0.5

# The player's processor time so far, in clock ticks.
ticks() { awk '{ print $14 + $15 }' "/proc/$player/stat"; }
window_size() { xwininfo -id "$window" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }
title() { xdotool getwindowname "$window"; }

for device in software gl; do
  pictures=$work/$device-home/Pictures
  mkdir -p "$pictures"
  HOME=$work/$device-home DEMO_DEVICE=$device "$demo" --windowed 2>"$work/$device.err" &
  player=$!
  window=
  for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name '^demo$' 2>/dev/null | head -1)
    [ -n "$window" ] && break
    kill -0 "$player" 2>/dev/null || fail "$device: the player ended: $(cat "$work/$device.err")"
    sleep 0.1
  done
  [ -n "$window" ] || fail "$device: no window appeared"
  xdotool windowactivate --sync "$window" >/dev/null 2>&1
  sleep 1.5

  # Paused: the picture stands and the player waits without working. The
  # line over the picture says so for two seconds, then goes.
  xdotool key space
  sleep 0.5
  [[ "$(title)" == "demo - paused at "* ]] || fail "$device: paused, the title says '$(title)'"
  import -window "$window" "$work/$device-paused-noticed.png"
  sleep 2.5
  import -window "$window" "$work/$device-paused-1.png"
  differ=$(compare -metric AE "$work/$device-paused-noticed.png" "$work/$device-paused-1.png" null: 2>&1)
  [ "$differ" -gt 500 ] || fail "$device: paused, no line over the picture ($differ pixels changed as it went)"
  before=$(ticks)
  sleep 2
  after=$(ticks)
  import -window "$window" "$work/$device-paused-2.png"
  differ=$(compare -metric AE "$work/$device-paused-1.png" "$work/$device-paused-2.png" null: 2>&1)
  [ "$differ" = 0 ] || fail "$device: paused, two screenshots a second apart differ in $differ pixels"
  used=$((after - before))
  echo "$device: paused, '$(title)'; $used ticks of processor time in 2 s; the picture stands"
  [ "$used" -lt 10 ] || fail "$device: paused, the player used $used ticks (1/100 s) in 2 s"

  # F12: the picture as drawn, into the pictures folder.
  xdotool key F12
  for _ in $(seq 50); do grep -q "saved the picture" "$work/$device.err" && break; sleep 0.1; done
  shot=$(ls "$pictures"/demo-*.png 2>/dev/null | head -1)
  [ -n "$shot" ] || fail "$device: F12 wrote no picture into $pictures ($(cat "$work/$device.err"))"
  grep -q "saved the picture" "$work/$device.err" || fail "$device: F12 did not say where the picture went"
  size=$(identify -format '%wx%h' "$shot")
  [ "$size" = "$(window_size)" ] || fail "$device: the picture is $size, the window $(window_size)"
  differ=$(compare -metric AE "$shot" "$work/$device-paused-1.png" null: 2>&1)
  echo "$device: F12 wrote $(basename "$shot") ($size), $differ pixels off the window's picture"
  if [ "$device" = software ]; then
    [ "$differ" = 0 ] || fail "$device: the saved picture differs from the window's in $differ pixels"
  fi

  # Space again: it plays on.
  xdotool key space
  sleep 1
  import -window "$window" "$work/$device-playing.png"
  differ=$(compare -metric AE "$work/$device-paused-1.png" "$work/$device-playing.png" null: 2>&1)
  [ "$differ" != 0 ] || fail "$device: after Space again the picture still stands"

  # The whole screen and back, by either key.
  windowed=$(window_size)
  for keys in alt+Return F11; do
    xdotool key "$keys"
    sleep 1
    [ "$(window_size)" = 1280x1024 ] || fail "$device: $keys gave a $(window_size) window, not the whole screen"
    xdotool key "$keys"
    sleep 1
    [ "$(window_size)" = "$windowed" ] || fail "$device: $keys again gave $(window_size), not the $windowed window"
  done
  echo "$device: Alt+Enter and F11 each went to the whole screen (1280x1024) and back to $windowed"

  xdotool key Escape
  for _ in $(seq 100); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$player" 2>/dev/null && fail "$device: Escape did not end it"
  wait "$player"
  code=$?
  [ $code -eq 0 ] || fail "$device: exit code $code after Escape ($(cat "$work/$device.err"))"
  player=

  # Begun at 40.84 s and paused there: the frame record makes at that time.
  rm -f "$pictures"/*.png
  started=$(date +%s%N)
  HOME=$work/$device-home DEMO_DEVICE=$device "$demo" --windowed --start 40840 --paused 2>"$work/$device-start.err" &
  player=$!
  window=
  for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name '^demo - paused at 0:40.840$' 2>/dev/null | head -1)
    [ -n "$window" ] && break
    kill -0 "$player" 2>/dev/null || fail "$device --start: the player ended: $(cat "$work/$device-start.err")"
    sleep 0.1
  done
  [ -n "$window" ] || fail "$device --start 40840 --paused: no window paused at 0:40.840"
  reached=$(( ($(date +%s%N) - started) / 1000000 ))
  xdotool windowactivate --sync "$window" >/dev/null 2>&1
  echo "$device: --start 40840 --paused reached 0:40.840 in $reached ms (window up included)"
  # The picture at each time, against record's; the key that gets there.
  for step in "- 40840 demo-40840ms" "Right 45840 demo-45840ms" "Left 40840 demo-40840ms-2" "period 40850 demo-40850ms"; do
    read -r key at name <<<"$step"
    if [ "$key" != - ]; then
      xdotool key "$key"
      for _ in $(seq 100); do [ "$(title)" = "demo - paused at $(printf '%d:%02d.%03d' $((at / 60000)) $((at % 60000 / 1000)) $((at % 1000)))" ] && break; sleep 0.1; done
    fi
    said=$(grep -c "saved the picture" "$work/$device-start.err")
    xdotool key F12
    for _ in $(seq 50); do [ "$(grep -c "saved the picture" "$work/$device-start.err")" -gt "$said" ] && break; sleep 0.1; done
    shot="$pictures/$name.png"
    [ -f "$shot" ] || fail "$device: after $key, F12 wrote no $name.png (title '$(title)'; $(cat "$work/$device-start.err"))"
    [ -f "$work/$device-record-$at.png" ] ||
      "$demokit" record --at "$at" --device "$device" --out "$work/$device-record-$at.png" >/dev/null ||
      fail "$device: demokit record --at $at failed"
    if [ "$device" = software ]; then
      differ=$(compare -metric AE "$shot" "$work/$device-record-$at.png" null: 2>&1)
      [ "$differ" = 0 ] || fail "$device: after $key the picture differs from record --at $at in $differ pixels"
    else
      differ=$(compare -metric AE -fuzz 1% "$shot" "$work/$device-record-$at.png" null: 2>&1)
      [ "$differ" -le 4000 ] ||
        fail "$device: after $key, $differ pixels differ by more than a level from record --at $at"
    fi
    echo "$device: $key: paused at $at ms, $differ pixels off record --at $at"
  done
  xdotool key Escape # paused: it ends all the same
  for _ in $(seq 100); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$player" 2>/dev/null && fail "$device --start: Escape while paused did not end it"
  wait "$player" || fail "$device --start: exit code $? after Escape"
  player=
done

# At the timeline's end a looping run starts again from the beginning.
HOME=$work/loop-home DEMO_DEVICE=software "$demo" --windowed --stats --loop --vsync off --start 81500 2>"$work/loop.err" &
player=$!
for _ in $(seq 150); do grep -q "at 0:00.000" "$work/loop.err" && break; sleep 0.1; done
grep -q "at 0:00.000" "$work/loop.err" || fail "--loop: no new run from the beginning ($(cat "$work/loop.err"))"
kill -0 "$player" 2>/dev/null || fail "--loop: the player ended"
window=$(xdotool search --onlyvisible --name '^demo' 2>/dev/null | head -1)
xdotool windowactivate --sync "$window" >/dev/null 2>&1
xdotool key Escape
for _ in $(seq 100); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
wait "$player" || fail "--loop: exit code $? after Escape"
player=
echo "--loop: the run began again at 0:00.000 when the timeline ended"
echo "player controls: pause, screenshot, full screen, start times, seeks, steps, the loop and Escape, with both devices"
