#!/usr/bin/env bash
# Screenshots for the README: the main window with the demo card connected,
# and the SYNOP window filling up. Runs everything under a virtual screen:
#   docs/make-screenshots.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
BIN="$BUILD_DIR/bin"
OUT=docs

if [ -z "${PLUVANE_SCREENSHOT_INNER:-}" ]; then
  exec env PLUVANE_SCREENSHOT_INNER=1 xvfb-run -a -s '-screen 0 1280x800x24' "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export PLUVANE_HIVE="$work/hive.sqlite" PLUVANE_SYNOP_LOG="$work/reports.sqlite"
export QT_QPA_PLATFORM=xcb

openbox >/dev/null 2>&1 &
sleep 1
"$BIN/pluvane-cardserver" --listen 127.0.0.1:0 --demo 2>"$work/server.log" &
for _ in $(seq 50); do grep -q "Listening on" "$work/server.log" && break; sleep 0.1; done
port=$(sed -n 's/.*Listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/server.log" | head -1)

key='HKLM\SOFTWARE\Korvath Software\Pluvane'
"$BIN/pluvane-reg" add "$key" /v HostName /d 127.0.0.1 /f >/dev/null
"$BIN/pluvane-reg" add "$key" /v HostPort /t REG_DWORD /d "$port" /f >/dev/null
"$BIN/pluvane-reg" add "$key" /v CardNumber /t REG_DWORD /d 1 /f >/dev/null

"$BIN/pluvane" &
for _ in $(seq 50); do xdotool search --name '^Pluvane V' >/dev/null 2>&1 && break; sleep 0.2; done
window=$(xdotool search --name '^Pluvane V' | head -1)
xdotool windowactivate --sync "$window" key alt+c
sleep "${PLUVANE_SCREENSHOT_WAIT:-40}"
import -window root "$work/screen.png"
convert "$work/screen.png" -trim +repage -bordercolor black -border 10 "$OUT/main-window.png"
echo "Wrote $OUT/main-window.png"
