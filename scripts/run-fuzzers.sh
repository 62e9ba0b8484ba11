#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for the given seconds on a copy of its checked-in corpus
# (tests/fuzz/corpus/<target>/), so that the inputs a run discovers stay in the build folder, and
# prints executions per target. With RUNS, a target also stops once it has run that many inputs
# (the goal of a long run: `make fuzz FUZZ_SECONDS=3600 FUZZ_RUNS=10000000`). A finding stops with the target's status; its input is kept in
# <build>/fuzz-artifacts/ (add it to the corpus once fixed, as a regression).
set -euo pipefail
build=${1:?usage: run-fuzzers.sh BUILD_DIR SECONDS [RUNS] [TARGET...]}
seconds=${2:-60}
runs_limit=${3:--1}
shift $(( $# < 3 ? $# : 3 ))
only=("$@")
root=$(cd "$(dirname "$0")/.." && pwd)
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
status=0
printf '%-16s %14s %10s\n' target executions exec/s
for target in "$build"/tests/fuzz/fuzz_*; do
  name=$(basename "$target"); name=${name#fuzz_}
  if (( ${#only[@]} )) && [[ ! " ${only[*]} " == *" $name "* ]]; then continue; fi
  work="$build/fuzz-corpus/$name"
  mkdir -p "$work"
  seeds="$root/tests/fuzz/corpus/$name"
  log="$build/fuzz-$name.log"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=1 -runs="$runs_limit" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$artifacts/$name-" "$work" "$seeds" >"$log" 2>&1; then
    echo "fuzz_$name found a failure (log: $log):" >&2
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" >&2 || tail -20 "$log" >&2
    status=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  printf '%-16s %14s %10s\n' "$name" "$runs" "$rate"
done
exit $status
