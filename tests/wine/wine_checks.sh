#!/usr/bin/env bash
# The Wine checks of a Windows build, one per call:
#   wine_checks.sh prefix|shaders|frames|run|missing-d3dx|digest
#                  |archive-run|archive-missing-d3dx|archive-shaders
# The archive checks unpack the build's Windows archive and run what it
# holds with Wine's own d3dx9_24 turned off (d3dx9_24=n): the archive's
# d3dx9_24.dll must stand in for the DirectX run-time.
# Environment: WINDOWS_BUILD (the x86-64 or x86 Windows build folder),
# DEMOKIT, WINE_COMPARE and DIGEST (programs of this Linux build), WORK (a
# folder of the build for the prefix, the frames and the screenshots).
# One 64-bit prefix runs both builds: 32-bit programs through its WoW64 half.
set -euo pipefail
check="$1"
mkdir -p "$WORK"
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko: nothing is downloaded and no installer asks.
base_overrides="mscoree,mshtml="
export WINEDLLOVERRIDES="$base_overrides"
demo_exe="$WINDOWS_BUILD/demo/demo.exe"
helper_exe="$WINDOWS_BUILD/tools/windows/assemble-with-d3dx.exe"

fail() { echo "wine check $check: $*" >&2; exit 1; }

# A private X server, 1024 x 768 x 24, on a free display number.
start_xvfb() {
  local fd_file="$WORK/display.$$"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$fd_file" ] && break
    sleep 0.1
  done
  [ -s "$fd_file" ] || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$fd_file")"
  rm -f "$fd_file"
}
stop_all() {
  wineserver -k 2>/dev/null || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
}

# Every X window named demo; with "visible", only the mapped ones.
demo_windows() {
  if [ "${1:-}" = visible ]; then
    xdotool search --onlyvisible --name '^demo$' 2>/dev/null || true
  else
    xdotool search --name '^demo$' 2>/dev/null || true
  fi
}

# Runs a demo.exe (with WINEDLLOVERRIDES as given): it shows its window,
# draws the frames the software device draws, and ends with 0 on Escape.
check_run() {
  local exe=$1 overrides=$2
  trap stop_all EXIT
  start_xvfb
  shot="$WORK/screenshot.png"
  rm -f "$shot"
  WINEDLLOVERRIDES="$overrides" wine "$exe" &
  demo_pid=$!
  for _ in $(seq 600); do
    [ -n "$(demo_windows visible)" ] && break
    kill -0 "$demo_pid" 2>/dev/null || fail "the program ended before showing its window"
    sleep 0.1
  done
  window=$(demo_windows visible | head -n 1)
  [ -n "$window" ] || fail "no mapped window named demo within 60 s"
  xwininfo -id "$window" | grep -E 'Absolute|Width|Height|Map State' | sed 's/^ */  /'
  # The first blank frames come before generation; wait for a picture.
  for _ in $(seq 300); do
    import -window root "$shot"
    mean=$(convert "$shot" -format '%[fx:int(mean*1000)]' info:)
    [ "$mean" -gt 5 ] && break
    sleep 0.1
  done
  [ "$mean" -gt 5 ] || fail "the screen stayed black"
  # One more, taken well inside the recorded 0 to 3,000 ms.
  import -window root "$shot"
  xdotool windowfocus "$window" 2>/dev/null || true
  xdotool key Escape
  code=0
  for _ in $(seq 300); do
    kill -0 "$demo_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$demo_pid" 2>/dev/null && fail "the program did not end within 30 s of Escape"
  wait "$demo_pid" || code=$?
  echo "exit code after Escape: $code"
  [ "$code" -eq 0 ] || fail "exit code $code, expected 0"
  "$WINE_COMPARE" frame "$shot" "$WORK/frames" 0 10
}

# Runs a demo.exe that finds no d3dx9_24.dll: it ends with 255 (exit(-1))
# and shows no window.
check_missing_d3dx() {
  local exe=$1 overrides=$2
  trap stop_all EXIT
  start_xvfb
  code=0
  WINEDLLOVERRIDES="$overrides" wine "$exe" &
  demo_pid=$!
  shown=""
  while kill -0 "$demo_pid" 2>/dev/null; do
    [ -n "$(demo_windows)" ] && shown=yes
    sleep 0.05
  done
  wait "$demo_pid" || code=$?
  [ -n "$(demo_windows)" ] && shown=yes
  echo "exit code without d3dx9_24.dll: $code; window shown: ${shown:-no}"
  xwininfo -root -tree | grep -q '"demo"' && shown=yes
  [ "$code" -eq 255 ] || fail "exit code $code, expected 255 (exit(-1))"
  [ -z "$shown" ] || fail "a window was shown"
}

# The build's Windows archive unpacked into a folder of its own (the
# archive's files in it, at its top); prints the folder.
unpack_archive() {
  local archive
  archive=$(ls "$WINDOWS_BUILD"/demo-*-windows-*.zip 2>/dev/null | head -n 1)
  [ -n "$archive" ] || fail "no Windows archive in $WINDOWS_BUILD"
  local into="$WORK/archive-$(basename "$WINDOWS_BUILD")"
  rm -rf "$into" && mkdir -p "$into"
  (cd "$into" && unzip -q "$archive")
  local top
  top=$(ls -d "$into"/demo-*/ | head -n 1)
  for file in demo.exe demo-digest.exe d3dx9_24.dll README.txt; do
    [ -f "$top/$file" ] || fail "$(basename "$archive") lacks $file"
  done
  grep -q "the user's guide" "$top/README.txt" || fail "the archive's README.txt is not the user's guide"
  [ "$(grep -c $'\r$' "$top/README.txt")" -eq "$(wc -l <"$top/README.txt")" ] ||
    fail "the archive's README.txt does not have Windows line ends throughout"
  echo "${top%/}"
}

native_d3dx="$base_overrides;d3dx9_24=n" # Wine's own d3dx9_24 off: only a DLL beside the program loads

case "$check" in
prefix)
  # Made once; later runs reuse it.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    start=$(date +%s)
    DISPLAY= wineboot -i >/dev/null 2>&1
    wineserver -w
    echo "made the Wine prefix $WINEPREFIX in $(( $(date +%s) - start )) s"
  else
    echo "reusing the Wine prefix $WINEPREFIX"
  fi
  ;;
frames)
  # The software device's frames for 0 to 3,000 ms in 10 ms steps, without
  # multisampling, as Wine on Xvfb has none.
  rm -rf "$WORK/frames"
  "$DEMOKIT" record --from 0 --to 3000 --fps 100 --no-multisample --out "$WORK/frames" >/dev/null
  echo "recorded $(ls "$WORK/frames" | wc -l) frames"
  ;;
shaders)
  rm -rf "$WORK/shaders" && mkdir -p "$WORK/shaders/wine"
  "$DEMOKIT" shaders --out "$WORK/shaders/ours" >/dev/null
  (cd "$WORK/shaders/wine" && wine "$helper_exe" vs.bin ps.bin) || fail "the helper failed under Wine"
  wineserver -w
  status=0
  for program in vs ps; do
    echo "== $program"
    "$WINE_COMPARE" tokens "$WORK/shaders/ours/$program.bin" "$WORK/shaders/wine/$program.bin" || status=1
  done
  [ $status -eq 0 ] || "$DEMOKIT" shaders --disassemble
  exit $status
  ;;
run)
  check_run "$demo_exe" "$base_overrides"
  ;;
digest)
  # The generated data of the Windows build, line for line against the
  # native build's (stdout under Wine ends its lines with CR LF).
  out="$WORK/digest-$(basename "$WINDOWS_BUILD")"
  wine "$WINDOWS_BUILD/tools/digest/demo-digest.exe" | tr -d '\r' > "$out.txt" || fail "demo-digest.exe failed"
  wineserver -w
  "$DIGEST" > "$out.native.txt"
  times=$(grep -c '^time ' "$out.txt" || true)
  [ "$times" -ge 200 ] || fail "only $times animation times"
  if ! diff -u "$out.native.txt" "$out.txt" > "$out.diff"; then
    head -n 20 "$out.diff"
    fail "the digests differ ($(grep -c '^[-+][^-+]' "$out.diff") lines); see $out.diff"
  fi
  echo "$(wc -l < "$out.txt") digest lines equal to the native build's, $times animation times"
  ;;
missing-d3dx)
  check_missing_d3dx "$demo_exe" "$base_overrides;d3dx9_24="
  ;;
archive-run)
  folder=$(unpack_archive)
  echo "unpacked $(basename "$folder"); Wine's d3dx9_24 off"
  check_run "$folder/demo.exe" "$native_d3dx"
  ;;
archive-missing-d3dx)
  folder=$(unpack_archive)
  rm "$folder/d3dx9_24.dll"
  check_missing_d3dx "$folder/demo.exe" "$native_d3dx"
  ;;
archive-shaders)
  # The archive's D3DXAssembleShader, through the DLL, against Wine's.
  folder=$(unpack_archive)
  cp "$helper_exe" "$folder/"
  rm -rf "$WORK/shaders-archive" && mkdir -p "$WORK/shaders-archive/ours-dll" "$WORK/shaders-archive/wine"
  (cd "$WORK/shaders-archive/ours-dll" && WINEDLLOVERRIDES="$native_d3dx" wine "$folder/assemble-with-d3dx.exe" vs.bin ps.bin) ||
    fail "the helper failed with the archive's DLL"
  (cd "$WORK/shaders-archive/wine" && wine "$helper_exe" vs.bin ps.bin) || fail "the helper failed with Wine's DLL"
  wineserver -w
  status=0
  for program in vs ps; do
    echo "== $program: the archive's d3dx9_24.dll against Wine's"
    "$WINE_COMPARE" tokens "$WORK/shaders-archive/ours-dll/$program.bin" "$WORK/shaders-archive/wine/$program.bin" ||
      status=1
  done
  exit $status
  ;;
*)
  fail "unknown check"
  ;;
esac
