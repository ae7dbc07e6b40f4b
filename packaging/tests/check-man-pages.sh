#!/bin/sh
# check-man-pages.sh MAN_DIR BIN_DIR: each page renders without a warning, and
# each option a program's --help prints is named in its page.
set -eu
man_dir=$1
bin_dir=$2
failed=0
for page in pluvane pluvane-cardserver pluvane-rtty pluvane-synop pluvane-reg pluvane-monitor; do
    file=$man_dir/$page.1
    [ -s "$file" ] || { echo "$page: no manual page at $file"; failed=1; continue; }
    warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$file" 2>&1 || echo "groff failed")
    if [ -n "$warnings" ]; then
        echo "$page: groff warns: $warnings"
        failed=1
    fi
    # The front end has no command line of its own.
    [ "$page" = pluvane ] && continue
    [ -x "$bin_dir/$page" ] || { echo "$page: no program at $bin_dir/$page"; failed=1; continue; }
    text=$(LC_ALL=C.UTF-8 MANWIDTH=200 groff -man -Tutf8 "$file" 2>/dev/null | sed 's/.\x08//g')
    options=$(QT_QPA_PLATFORM=offscreen "$bin_dir/$page" --help 2>&1 |
              grep -oE '(^|[ ,|[])(--[a-z][a-z0-9-]*|-[a-zA-Z]\b|/[a-z]{1,2}\b|/\?)' |
              sed 's/^[ ,|[]//' | sort -u)
    [ -n "$options" ] || { echo "$page: --help printed no options"; failed=1; }
    for option in $options; do
        if ! printf '%s\n' "$text" | grep -qF -- "$option"; then
            echo "$page: the manual page does not name $option"
            failed=1
        fi
    done
done
exit $failed
