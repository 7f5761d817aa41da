#!/usr/bin/env bash
# The Windows build checked under Wine: set up, build both Windows presets
# (x86-64 and x86), build the Linux side of the checks (preset wine: demokit
# and the comparison tool), then run the checks (label wine).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-wine.sh
for preset in windows-x64 windows-x86 wine; do
  echo "== wine tests: $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
done
ctest --preset wine
