#!/usr/bin/env bash
# The player in a real window on a virtual X server, with each device:
# after a second the screen shows the text wall; Escape sent with xdotool
# ends it with 0; the window manager's close request ends it with 0; it
# shows no more frames than the display's 60 a second (the server has no
# retrace to wait for: the player keeps to the rate itself); in a window
# made narrower and then taller, the picture is fitted again (aspect kept,
# black around); on a screen of twice the size the device draws at the
# picture's size there. With no display at all it ends with -1 (255) and
# one line on stderr.
# Usage: player_window_test.sh DEMO CLOSE_WINDOW WORKDIR
set -uo pipefail
demo=$1
close_window=$2
work=$3
mkdir -p "$work"

fail() { echo "player_window_test: $*" >&2; exit 1; }

# A free display number, and a server of that screen size on it.
server=
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null' EXIT
start_server() {
  if [ -n "$server" ]; then kill "$server"; wait "$server" 2>/dev/null; fi
  number=90
  while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
  Xvfb ":$number" -screen 0 "$1x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
  server=$!
  export DISPLAY=":$number"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start at $1"
}
start_server 1024x768

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

# The window resized to W x H: a screenshot of it shows the 4:3 picture
# fitted and centred, black beside it (two pixels left for the filtered
# edge), and the text wall inside.
check_fit() {
  local device=$1 window=$2 width=$3 height=$4
  xdotool windowsize "$window" "$width" "$height" || fail "$device: could not resize the window"
  sleep 0.8
  local shot="$work/$device-${width}x$height.png"
  import -window "$window" "$shot" || fail "$device: no screenshot of the window"
  local size
  size=$(identify -format '%wx%h' "$shot")
  [ "$size" = "${width}x$height" ] || fail "$device: the window is $size, not ${width}x$height"
  # The fit: the largest 1024 x 768 box inside, centred.
  local fitted_w=$width fitted_h=$(( width * 768 / 1024 ))
  if [ "$fitted_h" -gt "$height" ]; then fitted_h=$height; fitted_w=$(( height * 1024 / 768 )); fi
  local x=$(( (width - fitted_w) / 2 )) y=$(( (height - fitted_h) / 2 ))
  local bars
  if [ "$x" -gt 2 ]; then
    bars=$(convert "$shot" \( -clone 0 -crop "$(( x - 2 ))x$height+0+0" \) \
                           \( -clone 0 -crop "$(( x - 2 ))x$height+$(( x + fitted_w + 2 ))+0" \) \
                           -delete 0 -append -format '%[max]' info:)
  else
    bars=$(convert "$shot" \( -clone 0 -crop "${width}x$(( y - 2 ))+0+0" \) \
                           \( -clone 0 -crop "${width}x$(( y - 2 ))+0+$(( y + fitted_h + 2 ))" \) \
                           -delete 0 -append -format '%[max]' info:)
  fi
  local inside
  inside=$(convert "$shot" -crop "${fitted_w}x$fitted_h+$x+$y" -colorspace gray -threshold 80% -format '%[fx:mean]' info:)
  echo "$device: ${width}x$height window: picture ${fitted_w}x$fitted_h at $x,$y; brightest bar pixel $bars," \
       "near-white share inside $inside"
  [ "${bars%.*}" -eq 0 ] || fail "$device: ${width}x$height: the bars beside the picture are not black"
  awk -v w="$inside" 'BEGIN { exit !(w > 0.02) }' || fail "$device: ${width}x$height: no text wall inside the fit"
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

  export DEMO_WINDOWED=1
  start "$device"
  unset DEMO_WINDOWED
  window=$(xdotool search --onlyvisible --name '^demo$' | head -1)
  sleep 1
  check_fit "$device" "$window" 640 300 # wider than 4:3: black left and right
  check_fit "$device" "$window" 400 600 # taller: black above and below
  xdotool key Escape
  expect_exit_zero "$device" "Escape in a resized window"
done

# The command line: --help and --version on stdout with 0, an unknown
# option one line and 2, and --windowed --stats as the environment's
# DEMO_WINDOWED=1 DEMO_STATS=1.
help=$("$demo" --help) || fail "--help: exit code $?"
grep -q -- '--windowed' <<<"$help" || fail "--help does not name --windowed"
version=$("$demo" --version) || fail "--version: exit code $?"
[[ "$version" =~ ^demo\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version says '$version'"
"$demo" --no-such-option 2>"$work/unknown.err" >/dev/null; code=$?
[ $code -eq 2 ] || fail "an unknown option: exit code $code, expected 2"
[ "$(wc -l <"$work/unknown.err")" -eq 1 ] || fail "an unknown option: stderr is not one line"
echo "command line: '$version'; an unknown option: $(cat "$work/unknown.err")"
"$demo" --windowed --stats --device software 2>"$work/options.err" &
player=$!
for _ in $(seq 100); do
  xdotool search --onlyvisible --name '^demo$' >/dev/null 2>&1 && break
  sleep 0.1
done
window=$(xdotool search --onlyvisible --name '^demo$' | head -1)
[ -n "$window" ] || fail "--windowed --stats: no window"
geometry=$(xwininfo -id "$window" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
[ "$geometry" = 1024x768 ] || fail "--windowed: the window is $geometry, not 1024x768"
sleep 0.5
xdotool key Escape
expect_exit_zero options "Escape"
grep -q 'fps median' "$work/options.err" || fail "--stats: no frame figures on stderr"
echo "--windowed --stats: a ${geometry} window, $(grep -o '[0-9.]* fps median' "$work/options.err")"

# A screen of twice the size: the OpenGL device draws at 2048 x 1536, the
# picture's size there; DEMO_SCALE=1 keeps the program's own size; the
# software device starts at the screen's size and says what it draws at.
start_server 2048x1536
for setting in gl:auto:2048 gl:1:1024 software:auto:2048; do
  IFS=: read -r device scale width <<<"$setting"
  export DEMO_SCALE=$scale
  start "$device"
  unset DEMO_SCALE
  # Four times the pixels: the wall may take longer to come on a busy machine.
  wall=0
  for _ in 1 2 3 4 5 6; do
    sleep 1
    import -window root "$work/$device-2x.png" || fail "$device at 2048x1536: no screenshot"
    white=$(convert "$work/$device-2x.png" -colorspace gray -threshold 80% -format '%[fx:mean]' info:)
    awk -v w="$white" 'BEGIN { exit !(w > 0.02 && w < 0.9) }' && { wall=1; break; }
  done
  [ $wall -eq 1 ] || fail "$device at 2048x1536: no text wall after 6 s (near-white share $white)"
  xdotool key Escape
  expect_exit_zero "$device" "Escape at 2048x1536"
  grep -q "drawing at $width x $(( width * 3 / 4 )) with the $device device" "$work/$device.err" ||
    fail "$device, DEMO_SCALE=$scale at 2048x1536: not drawn at $width ($(cat "$work/$device.err"))"
  echo "$device, DEMO_SCALE=$scale on a 2048 x 1536 screen: $(grep 'drawn at' "$work/$device.err")," \
       "$(grep -o '[0-9.]* fps median' "$work/$device.err")"
done

# No display: the program cannot load its window system.
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$demo" 2>"$work/nodisplay.err"
code=$?
[ $code -eq 255 ] || fail "no display: exit code $code, expected 255"
[ "$(wc -l <"$work/nodisplay.err")" -eq 1 ] || fail "no display: stderr is not one line"
grep -q 'demokit record' "$work/nodisplay.err" || fail "no display: stderr does not point to demokit record"
echo "no display: exit code 255, $(cat "$work/nodisplay.err")"
