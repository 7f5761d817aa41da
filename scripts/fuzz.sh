#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each over a working copy of its seed
# corpus (tests/fuzz/corpus/NAME), with its dictionary where there is one.
#
#   scripts/fuzz.sh [--seconds S] [--runs N] [TARGET ...]
#
# Defaults: 1,200 s (20 minutes) or 1,000,000 executions a target, whichever
# comes first; every target. An input that crashes, leaks, trips a
# sanitizer or takes over a second fails the run (ten seconds for the scene
# target: a description that subdivides seven stored meshes to the 16-bit
# index limit takes 67 ms natively and over a second under the sanitizers'
# instrumentation): libFuzzer writes it to
# build/fuzz/artifacts/, to be kept in the corpus as a regression case once
# fixed. The test command runs this with --seconds 15. Prints, per target,
# the executions, the coverage (edges and features) and the corpus size.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=1200
runs=1000000
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | grep '^#' | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fuzz: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(scene animation texture song assembler shader arguments)

cmake --preset fuzz >/dev/null
mkdir -p build/fuzz
if ! cmake --build --preset fuzz -j "$(nproc)" >build/fuzz/build.log 2>&1; then
  tail -n 30 build/fuzz/build.log >&2
  echo "fuzz: the fuzz targets did not build" >&2
  exit 1
fi

work=build/fuzz/work
artifacts=build/fuzz/artifacts
mkdir -p "$work" "$artifacts"
status=0
for target in "${targets[@]}"; do
  program="build/fuzz/tests/fuzz/${target}_fuzzer"
  [ -x "$program" ] || { echo "fuzz: no target named $target" >&2; exit 2; }
  corpus="$work/$target"
  mkdir -p "$corpus"
  cp -n tests/fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  dict=()
  [ -f "tests/fuzz/dict/$target.dict" ] && dict=(-dict="tests/fuzz/dict/$target.dict")
  timeout=1
  [ "$target" = scene ] && timeout=10
  log="$work/$target.log"
  echo "== fuzz $target: up to $seconds s or $runs executions"
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
     "$program" "$corpus" "${dict[@]}" -max_total_time="$seconds" -runs="$runs" -timeout="$timeout" \
       -rss_limit_mb=2048 -artifact_prefix="$artifacts/$target-" -print_final_stats=1 >"$log" 2>&1; then
    executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    coverage=$(grep -E '^#[0-9]+.*(DONE|INITED)' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' || echo 'cov: ?')
    echo "   $executions executions, $coverage"
  else
    status=1
    echo "   FAILED; the last lines of $log:" >&2
    tail -n 30 "$log" >&2
  fi
done
exit $status
