#!/bin/sh
# Screenshot of the configuration dialog after a card search against the
# demo card server, taken under Xvfb with a window manager for the frame:
#   xvfb-run -a -s '-screen 0 1280x800x24' config/preview/screenshot.sh BUILD_DIR OUT.png
# The window's frame sits at 53,90 (the stand-in owner's corner plus 200 / 750 twips).
set -e
bin="$1/bin"
out="$2"
log=$(mktemp)
openbox >/dev/null 2>&1 &
wm=$!
"$bin/pluvane-cardserver" --demo --listen "127.0.0.1:${PORT:-0}" 2>"$log" &
server=$!
sleep 1
port=$(sed -n 's/^.*Listening on .*:\([0-9]*\)$/\1/p' "$log" | head -1)
"$bin/pluvane-config-preview" 127.0.0.1 "$port" &
preview=$!
sleep 2
window=$(xdotool search --name '^Configuration$' | head -1)
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool key --window "$window" Return   # Enter starts the search
sleep 2
import -window root "$out.full.png"
convert "$out.full.png" -crop 250x276+45+84 +repage "$out"
rm -f "$out.full.png" "$log"
kill $preview $server $wm
