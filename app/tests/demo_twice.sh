#!/usr/bin/env bash
# `./run.sh demo` twice in a row, each ended by the front end's Quit: both
# runs must start their card server, end cleanly and leave no server behind.
#   demo_twice.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
if [ -z "${PLUVANE_UNDER_XVFB:-}" ]; then
  PLUVANE_UNDER_XVFB=1 exec xvfb-run -a -s '-screen 0 1280x800x24' "$0" "$@"
fi
source_dir=$1 build_dir=$2
work=$(mktemp -d)
openbox >/dev/null 2>&1 &
wm=$!
trap 'kill $wm 2>/dev/null || true; rm -rf "$work"' EXIT
export PLUVANE_HIVE="$work/hive.sqlite" PLUVANE_SYNOP_LOG="$work/reports.sqlite" QT_QPA_PLATFORM=xcb

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
# Below the kernel's ephemeral range: a server told to take any port, or a
# client's own end of a connection, can then never take ours between the
# check and the demo's listen.
read -r ephemeral_low _ </proc/sys/net/ipv4/ip_local_port_range
port=0
for _ in $(seq 50); do
  candidate=$((10000 + RANDOM % (ephemeral_low - 10000)))
  listening "$candidate" || { port=$candidate; break; }
done
[ "$port" -ne 0 ] || { echo "no free port found" >&2; exit 1; }

key='HKLM\SOFTWARE\Korvath Software\Pluvane'
"$build_dir/bin/pluvane-reg" add "$key" /v HostPort /t REG_DWORD /d "$port" /f >/dev/null
"$build_dir/bin/pluvane-reg" add "$key" /v CardNumber /t REG_DWORD /d 1 /f >/dev/null
sleep 0.5  # openbox up

for run in 1 2; do
  PLUVANE_NO_SETUP=1 PLUVANE_BUILD_DIR="$build_dir" PLUVANE_DEMO_PORT=$port \
    "$source_dir/run.sh" demo >"$work/out$run" 2>"$work/err$run" &
  demo=$!
  window=""
  for _ in $(seq 100); do
    window=$(xdotool search --name '^Pluvane V' 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "run $run: no main window" >&2; cat "$work/err$run" >&2; exit 1; }
  listening "$port" || { echo "run $run: no demo card server on $port" >&2; cat "$work/err$run" >&2; exit 1; }
  xdotool windowactivate --sync "$window" key alt+q
  for _ in $(seq 100); do kill -0 "$demo" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$demo" 2>/dev/null; then
    echo "run $run: still running 10 s after Quit" >&2
    kill "$demo"
    exit 1
  fi
  status=0
  wait "$demo" || status=$?
  cat "$work/err$run" >&2
  [ "$status" -eq 0 ] || { echo "run $run: ./run.sh demo ended with $status" >&2; exit 1; }
  if grep -q "unbound variable" "$work/err$run"; then echo "run $run: the script failed on exit" >&2; exit 1; fi
  for _ in $(seq 20); do listening "$port" || break; sleep 0.1; done
  if listening "$port"; then echo "run $run: the card server still runs after Quit" >&2; exit 1; fi
  echo "run $run: ended cleanly"
done
