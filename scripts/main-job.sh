#!/usr/bin/env bash
# The demo's main job: set up, build, and print the scene that start-up
# builds (the generated world as JSON, summary first).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh default
./build/default/tools/demokit/demokit scene "$@"
