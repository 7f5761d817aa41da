#!/usr/bin/env bash
# The whole test suite: set up, then build and run every test in the normal
# build and in one build under AddressSanitizer, UndefinedBehaviorSanitizer
# and LeakSanitizer together (the OpenGL and real-window tests in the normal
# build only: Mesa's driver is not built with the sanitizers), the software
# device's tests and 300 frames under ThreadSanitizer, the generated data
# compiled as 32-bit x86 code against the native digest, a short run of every
# fuzz target, the web build in headless Chromium, then the Windows builds
# under Wine. (The ubsan preset, UBSan alone, stays for whoever wants it;
# the asan build covers it.)
set -euo pipefail
cd "$(dirname "$0")/.."

start=$SECONDS
phase() { echo "== tests, at $(( SECONDS - start )) s: $*"; }

scripts/setup.sh
for preset in default asan tsan; do
  phase "$preset build"
  scripts/build.sh "$preset"
  ctest --preset "$preset" -j "$(nproc)"
done
phase "the generated data as 32-bit x86 code"
scripts/x86-test.sh
phase "every fuzz target for 10 s, two at a time"
scripts/fuzz.sh --seconds 10 --jobs 2
phase "the web build in headless Chromium"
scripts/web-build.sh
ctest --preset web
phase "the Windows builds under Wine"
scripts/wine-test.sh
phase "all passed"
