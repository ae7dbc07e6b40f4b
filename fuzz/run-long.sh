#!/usr/bin/env bash
# Runs every fuzz target long, niced, one after the other, and prints each
# one's executions and coverage at the end (libFuzzer's cov/ft figures).
#   fuzz/run-long.sh [SECONDS_PER_TARGET [TARGET...]]     default 1800 s, all targets
# Inputs that crash are left in fuzz/findings/ for a look and for the corpus.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-1800}
shift || true
build_dir=${PLUVANE_FUZZ_BUILD_DIR:-$here/../build/fuzz-clang}
nice -n 10 "$here/build-fuzzers.sh" "$build_dir"
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=($(cd "$build_dir/bin" && ls fuzz-*))
mkdir -p "$here/findings"
status=0
for target in "${targets[@]}"; do
  log="$here/findings/$target.log"
  echo "== $target: $seconds s"
  ARTIFACT_PREFIX="$here/findings/$target-" nice -n 10 "$here/run-fuzzer.sh" "$build_dir/bin/$target" \
    -max_total_time="$seconds" -print_final_stats=1 >"$log" 2>&1 || status=1
  grep -E '^#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec|SUMMARY' "$log" || true
done
exit $status
