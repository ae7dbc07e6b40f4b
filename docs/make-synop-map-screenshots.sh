#!/usr/bin/env bash
# Screenshots of the SYNOP window's map and station plots, made from real
# reports: 15 days of Argentine land stations (../shared/data/synop-real),
# fed in order of observation to the component's window as a teletype would
# deliver them. The clock is set to just after the last observation, so that
# the day-of-month figures of the reports land in March 2026.
#   docs/make-synop-map-screenshots.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
BIN="$BUILD_DIR/bin"
OUT=${PLUVANE_SCREENSHOT_OUT:-docs}
REPORTS=${PLUVANE_SYNOP_REAL:-../shared/data/synop-real}/ogimet-land-2026-03-01-15.txt

if [ -z "${PLUVANE_SCREENSHOT_INNER:-}" ]; then
  exec env PLUVANE_SCREENSHOT_INNER=1 xvfb-run -a -s '-screen 0 1280x800x24' "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=xcb PLUVANE_SYNOP_LOG="$work/reports.sqlite"

# One report a line, "AAXX YYGGi ...": sorting on YYGGi puts them in time order.
sort -s -k2,2 "$REPORTS" > "$work/in-order.txt"

openbox >/dev/null 2>&1 &
sleep 1
faketime '2026-03-15 23:40:00' "$BIN/pluvane-synop-view" --left 300 --top 300 "$work/in-order.txt" &
for _ in $(seq 50); do xdotool search --name 'SYNOP' >/dev/null 2>&1 && break; sleep 0.2; done
window=$(xdotool search --name 'SYNOP' | head -1)
# Feeding a megabyte at teletype pace takes about a minute.
sleep "${PLUVANE_SCREENSHOT_WAIT:-75}"
xdotool windowactivate --sync "$window"
xdotool windowsize --sync "$window" 1240 760
xdotool windowmove --sync "$window" 10 10

# The window's frame now starts at (20, 20); the places below are measured from it.
xdotool key alt+m
sleep 1
# Three turns of the wheel over the River Plate zoom in around it.
xdotool mousemove --sync 640 232 click 4 click 4 click 4 mousemove 1100 560
sleep 2
import -window root "$work/screen.png"
convert "$work/screen.png" -crop 1262x800+0+0 -trim +repage -bordercolor black -border 10 "$OUT/synop-map.png"
echo "Wrote $OUT/synop-map.png"

# A station as a user finds it: its name in the filter line, its newest report selected in the list.
xdotool mousemove --sync 300 61 click 1
xdotool type --delay 30 'Ezeiza'
xdotool key alt+r
sleep 1
xdotool mousemove --sync 220 132 click 1
xdotool key alt+p
sleep 2
import -window root "$work/screen.png"
convert "$work/screen.png" -crop 1262x800+0+0 -trim +repage -bordercolor black -border 10 "$OUT/synop-plots.png"
echo "Wrote $OUT/synop-plots.png"
