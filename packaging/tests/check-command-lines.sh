#!/bin/sh
# check-command-lines.sh BIN_DIR VERSION: every command-line program answers
# --help and --version, and a usage error exits 2 (pluvane-reg: 1, as the
# Windows reg tool's invalid syntax does).
set -u
bin=$1
version=$2
failed=0
# The monitor is a window program: its command line is read before it opens one.
export QT_QPA_PLATFORM=offscreen
for program in pluvane-cardserver pluvane-rtty pluvane-synop pluvane-reg pluvane-monitor; do
    "$bin/$program" --help >/dev/null 2>&1 || { echo "$program --help exits $?"; failed=1; }
    out=$("$bin/$program" --version 2>&1) || { echo "$program --version exits $?"; failed=1; }
    case "$out" in *"$version"*) ;; *) echo "$program --version says \"$out\", not $version"; failed=1 ;; esac
    want=2
    [ "$program" = pluvane-reg ] && want=1
    "$bin/$program" --no-such-option </dev/null >/dev/null 2>&1
    status=$?
    [ "$status" = "$want" ] || { echo "$program --no-such-option exits $status, not $want"; failed=1; }
done
exit $failed
