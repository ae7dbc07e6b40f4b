#!/bin/sh
# Runs GUI tests on a real X server with a window manager, where frames,
# placement and focus behave as on a desktop (the offscreen platform
# activates every window it shows).
#   under_openbox.sh TEST_PROGRAM GTEST_FILTER
set -eu
if [ -z "${PLUVANE_UNDER_XVFB:-}" ]; then
  PLUVANE_UNDER_XVFB=1 exec xvfb-run -a -s '-screen 0 1280x800x24' "$0" "$@"
fi
openbox >/dev/null 2>&1 &
wm=$!
trap 'kill $wm 2>/dev/null || true' EXIT
sleep 1
QT_QPA_PLATFORM=xcb "$1" --gtest_filter="$2"
