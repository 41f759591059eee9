#!/bin/bash
# Builds the fuzz programs with clang and runs each for a bounded time.
# Fails on any crash, leak, timeout, sanitizer report or broken promise.
#
#   fuzz/run_all.sh [SECONDS_PER_TARGET]      (default 25)
#
# Environment: QORLU_FUZZ_BUILD (build folder, default build-fuzz),
# QORLU_FUZZ_CORPUS (kept corpus folder; default a temporary one, removed),
# QORLU_FUZZ_TARGETS (space-separated subset), QORLU_FUZZ_NO_BUILD=1,
# QORLU_FUZZ_SEED and QORLU_FUZZ_RUNS (see below).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-25}
build=${QORLU_FUZZ_BUILD:-build-fuzz}
targets=${QORLU_FUZZ_TARGETS:-"locate extract import texture flagsheet blocks patch"}

if [ -z "${QORLU_FUZZ_NO_BUILD:-}" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DQORLU_FUZZ=ON -DQORLU_BUILD_GUI=OFF \
    -DQORLU_BUILD_TESTS=OFF -DQORLU_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done) fuzz_seeds
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qorlu-fuzz-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
corpus=${QORLU_FUZZ_CORPUS:-$work/corpus}
artifacts=$work/artifacts
mkdir -p "$corpus" "$artifacts"
# The targets write their files below TMPDIR: memory, where there is some.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:handle_abort=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# QORLU_FUZZ_SEED and QORLU_FUZZ_RUNS make a run repeatable: the same
# mutations, as many of them, on every machine (the time stays the cap).
fixed=""
[ -n "${QORLU_FUZZ_SEED:-}" ] && fixed="$fixed -seed=$QORLU_FUZZ_SEED"
[ -n "${QORLU_FUZZ_RUNS:-}" ] && fixed="$fixed -runs=$QORLU_FUZZ_RUNS"

failed=0
for t in $targets; do
  mkdir -p "$corpus/$t"
  log=$work/$t.log
  status=0
  ("$build/fuzz/fuzz_$t" -max_total_time="$seconds" $fixed -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$t-" "$corpus/$t" "$build/fuzz/seeds/$t" >"$log" 2>&1) 2>/dev/null || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  files=$(find "$corpus/$t" -type f | wc -l)
  if [ "$status" -ne 0 ] || ls "$artifacts/$t-"* >/dev/null 2>&1; then
    echo "FAIL $t: exit status $status after ${runs:-?} executions"
    grep -aE "ERROR|qorlu $t:|SUMMARY|Test unit written" "$log" | head -20 || true
    for a in "$artifacts/$t-"*; do
      [ -e "$a" ] && mkdir -p fuzz/findings && cp "$a" fuzz/findings/ && echo "  input kept: fuzz/findings/$(basename "$a")"
    done
    failed=1
  else
    echo "ok   $t: ${runs:-?} executions (at most ${seconds} s), corpus $files files"
  fi
done
exit $failed
