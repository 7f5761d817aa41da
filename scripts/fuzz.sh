#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each over a working copy of its seed
# corpus (tests/fuzz/corpus/NAME), with its dictionary where there is one.
#
#   scripts/fuzz.sh [--seconds S] [--runs N] [--jobs J] [TARGET ...]
#
# Defaults: 1,200 s (20 minutes) or 1,000,000 executions a target, whichever
# comes first; every target. An input that crashes, leaks, trips a
# sanitizer or takes over a second fails the run (ten seconds for the scene
# target: a description that subdivides seven stored meshes to the 16-bit
# index limit takes 67 ms natively and over a second under the sanitizers'
# instrumentation): libFuzzer writes it to
# build/fuzz/artifacts/, to be kept in the corpus as a regression case once
# fixed. --jobs J runs J targets at a time (default 1; each target is one
# process on one core). The test command runs this with --seconds 10
# --jobs 2. Prints, per target, the executions, the coverage (edges and
# features) and the corpus size.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=1200
runs=1000000
jobs=1
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --jobs) jobs="$2"; shift 2 ;;
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
# One target's run; its report goes to $work/TARGET.report, its exit code
# says whether it found anything.
run_target() {
  local target=$1
  local program="build/fuzz/tests/fuzz/${target}_fuzzer"
  local corpus="$work/$target"
  local report="$work/$target.report"
  mkdir -p "$corpus"
  cp -n tests/fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  local dict=()
  [ -f "tests/fuzz/dict/$target.dict" ] && dict=(-dict="tests/fuzz/dict/$target.dict")
  local timeout=1
  [ "$target" = scene ] && timeout=10
  local log="$work/$target.log"
  echo "== fuzz $target: up to $seconds s or $runs executions" >"$report"
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
     "$program" "$corpus" "${dict[@]}" -max_total_time="$seconds" -runs="$runs" -timeout="$timeout" \
       -rss_limit_mb=2048 -artifact_prefix="$artifacts/$target-" -print_final_stats=1 >"$log" 2>&1; then
    local executions coverage
    executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    coverage=$(grep -E '^#[0-9]+.*(DONE|INITED)' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' || echo 'cov: ?')
    echo "   $executions executions, $coverage" >>"$report"
  else
    { echo "   FAILED; the last lines of $log:"; tail -n 30 "$log"; } >>"$report"
    return 1
  fi
}

for target in "${targets[@]}"; do
  [ -x "build/fuzz/tests/fuzz/${target}_fuzzer" ] || { echo "fuzz: no target named $target" >&2; exit 2; }
done
status=0
for target in "${targets[@]}"; do
  rm -f "$work/$target.report"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
    wait -n || true
  done
  run_target "$target" &
done
wait
# A report says whether its target found anything (the exit codes of jobs
# already reaped by wait -n are not kept everywhere).
for target in "${targets[@]}"; do
  report="$work/$target.report"
  if [ ! -s "$report" ] || grep -q FAILED "$report"; then
    status=1
    cat "$report" >&2 2>/dev/null || echo "fuzz: $target gave no report" >&2
  else
    cat "$report"
  fi
done
exit $status
