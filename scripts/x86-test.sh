#!/usr/bin/env bash
# The system as 32-bit x86 code, without Windows or Wine: installs the
# machine's 32-bit GCC (g++-multilib) and QEMU's user-mode emulator
# (qemu-user) if missing, builds the generated data
# and the digest programs with the linux-x86 preset, points the default build
# at them and runs the check (label x86): their digests, at the build's level,
# -O0 and -O3, run under the emulator, against the native -O0 reference.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-missing.sh x86-test g++-multilib qemu-user
echo "== x86 test: linux-x86 build"
scripts/build.sh linux-x86
echo "== x86 test: the reference, in the default build"
cmake --preset default -DDEMO_X86_BUILD_DIR="$PWD/build/linux-x86" >/dev/null
cmake --build --preset default -j "$(nproc)" --target demo-digest demo-digest-O0
ctest --preset x86
