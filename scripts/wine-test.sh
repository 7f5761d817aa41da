#!/usr/bin/env bash
# The Windows build checked under Wine: set up, build both Windows presets
# (x86-64 and x86), point the default Linux build at them (it gives the
# checks demokit, the digest program and the comparison tool), then run the
# checks (label wine).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-wine.sh
for preset in windows-x64 windows-x86; do
  echo "== wine tests: $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
done
echo "== wine tests: the Linux side, in the default build"
cmake --preset default -DDEMO_WINDOWS_BUILD_DIR="$PWD/build/windows-x64" \
  -DDEMO_WINDOWS_X86_BUILD_DIR="$PWD/build/windows-x86" >/dev/null
cmake --build --preset default -j 2 --target demokit demo-digest wine-compare
ctest --preset wine
