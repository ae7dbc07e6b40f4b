#!/usr/bin/env bash
# Runs the tests that depend on time while every core runs a busy loop, as on
# a loaded laptop or a shared CI runner, round after round, and stops at the
# first round that fails.
#   under_load.sh BUILD_DIR [ROUNDS [LABEL_REGEX]]
# ROUNDS defaults to 10; LABEL_REGEX to "realtime" (the real-time tests).
# "all" runs what ./run.sh test runs instead. LOOPS_PER_CORE (default 1)
# makes the load heavier.
set -euo pipefail
build_dir=$(cd "$1" && pwd)
rounds=${2:-10}
label=${3:-realtime}
cores=$(nproc)
loops=$((cores * ${LOOPS_PER_CORE:-1}))

busy=()
stop_load() {
  for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${busy[@]}"; do wait "$pid" 2>/dev/null || true; done
  busy=()
}
trap stop_load EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
for ((i = 0; i < loops; ++i)); do
  bash -c 'while :; do :; done' &
  busy+=($!)
done
echo "Load: $loops busy loop(s) on $cores core(s)"

select=(-L "$label")
[ "$label" = all ] && select=(-LE 'slow|fuzz')
cd "$build_dir"
passed=0
for ((round = 1; round <= rounds; ++round)); do
  start=$(date +%s)
  if QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$cores" --timeout 900 "${select[@]}" \
      >"$build_dir/under_load-round-$round.log" 2>&1; then
    passed=$((passed + 1))
    status=passed
  else
    status=FAILED
  fi
  summary=$(grep -E 'tests passed|tests failed' "$build_dir/under_load-round-$round.log" | tail -1)
  echo "round $round: $status in $(( $(date +%s) - start )) s ($summary), load $(cut -d' ' -f1 /proc/loadavg)"
  if [ "$status" = FAILED ]; then
    grep -E '^\s+[0-9]+ - ' "$build_dir/under_load-round-$round.log" || true
    echo "$passed round(s) in a row passed; the failing round's log: $build_dir/under_load-round-$round.log"
    exit 1
  fi
done
echo "$passed round(s) in a row passed"
