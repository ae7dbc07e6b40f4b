#!/usr/bin/env bash
# Runs fuzz targets long, at the lowest priority, in parts: each part runs
# every target given for SECONDS, side by side, on a corpus kept between parts
# (build/fuzz-clang/corpus/NAME), and adds its executions to the target's
# running total until the target has RUNS in all.
#   fuzz/run-long.sh [SECONDS_PER_PART [RUNS [fuzz-NAME...]]]
#       defaults: 600 s a part, 10000000 runs, every target
# PLUVANE_FUZZ_UNTIL=EPOCH_SECONDS: the last part is cut short to end by then.
# PLUVANE_FUZZ_NICE (default 19): the fuzzers' niceness; lower it on a machine
# whose other work would otherwise leave them almost no CPU.
# PLUVANE_FUZZ_FORK=N: each target runs N fuzzing processes (libFuzzer's
# -fork), so one target can use every core; its runs are all of theirs.
# PLUVANE_FUZZ_OPTIONS: further libFuzzer options for every target, e.g.
# -max_len=1024.
# Totals and coverage per part: fuzz/findings/NAME.parts (part, seconds,
# executions, total, cov, ft, rss, CPU seconds). Crashing inputs: fuzz/findings/NAME-crash-*.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-600}
goal=${2:-10000000}
shift 2 || shift $#
build_dir=${PLUVANE_FUZZ_BUILD_DIR:-$here/../build/fuzz-clang}
niceness=${PLUVANE_FUZZ_NICE:-19}
# Set to run already-built targets (another run-long.sh builds them).
[ -z "${PLUVANE_FUZZ_NO_BUILD:-}" ] && nice -n "$niceness" "$here/build-fuzzers.sh" "$build_dir"
# Long runs trade diagnostics for speed: allocations carry no stack (ASan
# records one per malloc, a quarter of a parser's time), fresh memory is not
# filled, and the quarantine is small enough that memory stays flat over
# millions of runs. A finding is run again by run-fuzzer.sh's defaults, which
# give the full report.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=2:thread_local_quarantine_size_kb=64:malloc_context_size=0:max_malloc_fill_size=0}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=($(cd "$build_dir/bin" && ls fuzz-*))
mkdir -p "$here/findings"

total_of() { [ -f "$here/findings/$1.parts" ] && tail -1 "$here/findings/$1.parts" | awk '{print $4}' || echo 0; }
# Parts are numbered on from the last one recorded, so a parts file that
# starts from a carried-over total keeps its numbering.
next_part_of() { [ -f "$here/findings/$1.parts" ] && tail -1 "$here/findings/$1.parts" | awk '{print $1 + 1}' || echo 1; }
fork_options=()
[ -n "${PLUVANE_FUZZ_FORK:-}" ] && fork_options=(-fork="$PLUVANE_FUZZ_FORK")
read -r -a extra_options <<<"${PLUVANE_FUZZ_OPTIONS:-}"

status=0
while :; do
  running=()
  part_seconds=$seconds
  if [ -n "${PLUVANE_FUZZ_UNTIL:-}" ]; then
    left=$(( PLUVANE_FUZZ_UNTIL - $(date +%s) ))
    [ "$left" -lt 60 ] && break
    [ "$left" -lt "$part_seconds" ] && part_seconds=$left
  fi
  for target in "${targets[@]}"; do
    [ "$(total_of "$target")" -ge "$goal" ] && continue
    (
      part=$(next_part_of "$target")
      log="$here/findings/$target.log"
      # -reload=0: a target's corpus folder is written by its own fuzzer
      # only, so reading the folder again for others' inputs (libFuzzer's
      # default) finds nothing; with 10,000 kept inputs its stat() of every
      # file was an eighth of fuzz-synop's time.
      FUZZ_CORPUS_DIR="$build_dir/corpus/${target#fuzz-}" ARTIFACT_PREFIX="$here/findings/$target-" \
        nice -n "$niceness" "$here/run-fuzzer.sh" "$build_dir/bin/$target" -max_total_time="$part_seconds" \
        -rss_limit_mb=4096 -timeout=120 -reload=0 -print_final_stats=1 \
        "${fork_options[@]}" "${extra_options[@]}" >"$log" 2>&1 || echo "$target: finding or failure, see $log" >&2
      runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo 0)
      last=$(grep -E '^#[0-9]+' "$log" | tail -1)
      # Forked runs print no final stats: their last progress line counts
      # every process's runs ("#39918: cov: ...").
      [ -n "${PLUVANE_FUZZ_FORK:-}" ] && runs=$(grep -oE '^#[0-9]+' <<<"$last" | tr -d '#' || echo 0)
      cov=$(grep -oE 'cov: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || echo -)
      ft=$(grep -oE 'ft: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || echo -)
      rss=$(grep -oE 'stat::peak_rss_mb: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo -)
      # CPU seconds (user and system) of the part: on a shared machine the
      # rate per CPU second is what says how costly a target is.
      # (times in this shell itself: a pipe or $(...) would fork and count nothing)
      times >"$log.cpu"
      cpu=$(tail -1 "$log.cpu" | awk '{ t = 0; for (i = 1; i <= NF; ++i) { split($i, p, "m"); t += p[1] * 60 + p[2] } printf "%.0f", t }')
      total=$(( $(total_of "$target") + runs ))
      echo "$part $part_seconds $runs $total $cov $ft ${rss}MB ${cpu}" >>"$here/findings/$target.parts"
      echo "== $target part $part: $runs runs ($total in all), cov $cov, ft $ft, peak RSS ${rss} MB, ${cpu} CPU-s"
    ) &
    running+=($!)
  done
  [ ${#running[@]} -eq 0 ] && break
  for pid in "${running[@]}"; do wait "$pid" || status=1; done
  [ -n "${FUZZ_ONE_PART:-}" ] && break
done
ls "$here"/findings/*-crash-* 2>/dev/null && status=1
exit $status
