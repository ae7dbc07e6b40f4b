#!/usr/bin/env bash
# Screenshot of the map's surface analysis from real reports: the Argentine,
# Falklands and Antarctic land stations of synopdecoder/tests/data/real,
# stored in a station log as received on 15 March 2026 at 23:40 UTC, shown
# by the component's window with the clock set to that moment. The map
# analyses the latest hour with enough reports of the last 24 hours.
#   docs/make-synop-isobars-screenshot.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
BIN="$BUILD_DIR/bin"
OUT=${PLUVANE_SCREENSHOT_OUT:-docs}
REPORTS=${PLUVANE_SYNOP_REAL:-synopdecoder/tests/data/real}/ogimet-land-2026-03-01-15.txt

command -v faketime >/dev/null || { echo "needs faketime (apt-get install faketime)" >&2; exit 1; }

if [ -z "${PLUVANE_SCREENSHOT_INNER:-}" ]; then
  exec env PLUVANE_SCREENSHOT_INNER=1 xvfb-run -a -s '-screen 0 1280x800x24' "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=xcb PLUVANE_SYNOP_LOG="$work/reports.sqlite"

sort -s -k2,2 "$REPORTS" > "$work/in-order.txt"
received=2026-03-15T23:40:00Z
"$BIN/pluvane-synop" --store --received "$received" "$work/in-order.txt"

openbox >/dev/null 2>&1 &
sleep 1
faketime "$received" "$BIN/pluvane-synop-view" --left 300 --top 300 &
for _ in $(seq 50); do xdotool search --name 'SYNOP' >/dev/null 2>&1 && break; sleep 0.2; done
window=$(xdotool search --name 'SYNOP' | head -1)
sleep 3
xdotool windowactivate --sync "$window"
xdotool windowsize --sync "$window" 1240 760
xdotool windowmove --sync "$window" 10 10
xdotool mousemove --sync 300 61 click 1
xdotool key alt+m
sleep 2
xdotool mousemove --sync 1150 700
sleep 3
import -window root "$work/screen.png"
convert "$work/screen.png" -crop 1262x800+0+0 -trim +repage -bordercolor black -border 10 "$OUT/synop-isobars.png"
echo "Wrote $OUT/synop-isobars.png"
