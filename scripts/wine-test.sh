#!/usr/bin/env bash
# The Windows build checked under Wine: set up, build both Windows presets
# (x86-64 and x86), point the default Linux build at them (it gives the
# checks demokit, the digest program and the comparison tool), then run the
# checks (label wine). The x86 build's checks need 32-bit Wine; where the
# set-up could not install it they are left out, and the run says so.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-wine.sh
for preset in windows-x64 windows-x86; do
  echo "== wine tests: $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
done
x86_build="$PWD/build/windows-x86"
if ! dpkg -s wine32:i386 >/dev/null 2>&1; then
  echo "== wine tests: no 32-bit Wine here, so the x86 build's checks are left out"
  x86_build=""
fi
echo "== wine tests: the Linux side, in the default build"
cmake --preset default -DDEMO_WINDOWS_BUILD_DIR="$PWD/build/windows-x64" \
  -DDEMO_WINDOWS_X86_BUILD_DIR="$x86_build" >/dev/null
cmake --build --preset default -j 2 --target demokit demo-digest wine-compare
ctest --preset wine
