#!/usr/bin/env bash
# Screenshots of the SYNOP window's map (with and without zoom; the first shows
# the isobars of the whole network) and station plots, made from real
# reports: 15 days of Argentine land stations (the real traffic that the
# decoder's regression test reads, synopdecoder/tests/data/real),
# stored in a station log as received just after the last observation, then
# shown by the component's window with the clock set to that moment (so that
# "the last 24 hours" means the last day of those reports).
#   docs/make-synop-map-screenshots.sh [build-dir]
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

# One report a line, "AAXX YYGGi ...": sorting on YYGGi puts them in time order.
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

# The window's frame now starts at (20, 20); the places below are measured
# from it. The window comes up without taking the focus: a click gives it.
xdotool mousemove --sync 300 61 click 1
xdotool key alt+m
# The whole network with its isobars, once their analysis has come in.
xdotool mousemove --sync 1150 700
sleep 3
import -window root "$work/screen.png"
convert "$work/screen.png" -crop 1262x800+0+0 -trim +repage -bordercolor black -border 10 "$OUT/synop-isobars.png"
echo "Wrote $OUT/synop-isobars.png"
# Turns of the wheel over the River Plate zoom in around it.
xdotool mousemove --sync 640 235 click --repeat 5 --delay 150 4 mousemove 1150 600
sleep 2
import -window root "$work/screen.png"
convert "$work/screen.png" -crop 1262x800+0+0 -trim +repage -bordercolor black -border 10 "$OUT/synop-map.png"
echo "Wrote $OUT/synop-map.png"

# A station as a user finds it: its name in the filter line, a report of it selected in the list.
xdotool mousemove --sync 300 61 click 1
xdotool type --delay 30 'Ezeiza'
xdotool key alt+r
sleep 1
xdotool mousemove --sync 220 132 click 1
# A week of its weather: the range box beside the filter line.
xdotool mousemove --sync 1170 61 click 1
sleep 0.5
xdotool key Down Down Return
sleep 1
xdotool key alt+p
sleep 2
import -window root "$work/screen.png"
convert "$work/screen.png" -crop 1262x800+0+0 -trim +repage -bordercolor black -border 10 "$OUT/synop-plots.png"
echo "Wrote $OUT/synop-plots.png"
