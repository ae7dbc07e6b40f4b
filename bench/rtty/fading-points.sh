#!/bin/bash
# The 1 % points on the fading channels: pluvane-rtty against the
# ideal-timing detector and the tone-aware bound (ToneAwareBound.h), on the
# same files. Each SNR is the mean CER over several fading runs (seeds); the
# runs keep their fading and noise from one SNR to the next, only the
# noise's level changes, so that the curves are smooth enough to read a
# 1 % point from (the SNR from which the CER stays at or below 1 %,
# interpolated between the points either side).
#
#   bench/rtty/fading-points.sh [BUILD_DIR]      (default: build)
# Environment: RTTY_FP_CHARS (default 1400), RTTY_FP_SEEDS (runs per point,
# default 3), RTTY_FP_LINES (default "50/450 50/425 75/850"),
# RTTY_FP_CHANNELS (default "moderate flat dips20"), RTTY_FP_SNRS (default
# a grid per channel). About 15 minutes on two idle cores.
set -euo pipefail

build=${1:-build}
. "$(dirname "$0")/common.sh"
bench_setup "$build"

chars=${RTTY_FP_CHARS:-1400}
seeds=${RTTY_FP_SEEDS:-3}
lines=${RTTY_FP_LINES:-"50/450 50/425 75/850"}
channels=${RTTY_FP_CHANNELS:-"moderate flat dips20"}
centre=1500
rate=8000

snrsFor() {
    [ -n "${RTTY_FP_SNRS:-}" ] && { echo "$RTTY_FP_SNRS"; return; }
    case $1 in
        moderate|poor) echo "-4 -2 0 2 4 6 8 10 12" ;;
        flat|dips20) echo "4 6 8 10 12 14 16 18" ;;
        *) echo "-4 0 4 8 12 16" ;;
    esac
}

mean() { printf '%s\n' "$@" | awk '{ s += $1 } END { printf "%.5f", s / NR }'; }

echo "# 1 % points on fading channels: pluvane-rtty, ideal timing, tone-aware bound"
echo
bench_header
echo "- Signal: minimodem --tx --baudot --stopbits 1.5, ${rate} Hz, centre ${centre} Hz, ${chars} characters of bulletin text; ${seeds} fading runs per SNR (mean CER)"
echo

summary=""
lineIndex=0
for line in $lines; do
    baud=${line%/*}
    shift_hz=${line#*/}
    lineIndex=$((lineIndex + 1))
    send_bulletin "$baud" "$shift_hz" "$lineIndex"
    for channel in $channels; do
        echo "## ${channel}, ${baud} Bd / ${shift_hz} Hz"
        echo
        echo "| SNR (dB) | pluvane-rtty | ideal timing | tone-aware bound |"
        echo "|---:|---:|---:|---:|"
        ours=(); ideal=(); bound=()
        for snr in $(snrsFor "$channel"); do
            echo "${channel} ${line} at ${snr} dB" >&2
            a=(); c=(); d=()
            for run in $(seq 1 "$seeds"); do
                seed=$((lineIndex * 100 + run))
                "$tool" channel "$channel" "$work/clean.wav" "$work/received.wav" "$snr" "$seed" "$centre" "$shift_hz"
                "$decoder" decode --quiet --baud "$baud" --shift "$shift_hz" --centre "$centre" "$work/received.wav" >"$work/ours.txt" || true
                "$tool" ideal "$work/clean.wav" "$work/received.wav" "$baud" "$shift_hz" "$centre" 0 0 >"$work/ideal.txt"
                "$tool" bound "$channel" "$work/clean.wav" "$work/received.wav" "$baud" "$shift_hz" "$centre" "$snr" "$seed" >"$work/bound.txt"
                a+=("$("$tool" cer "$work/reference.txt" "$work/ours.txt")")
                c+=("$("$tool" cer "$work/reference.txt" "$work/ideal.txt")")
                d+=("$("$tool" cer "$work/reference.txt" "$work/bound.txt")")
            done
            a=$(mean "${a[@]}"); c=$(mean "${c[@]}"); d=$(mean "${d[@]}")
            ours+=("$snr:$a"); ideal+=("$snr:$c"); bound+=("$snr:$d")
            echo "| $snr | $(percent "$a") | $(percent "$c") | $(percent "$d") |"
        done
        echo
        p=$("$tool" first-crossing "${ours[@]}"); i=$("$tool" first-crossing "${ideal[@]}"); b=$("$tool" first-crossing "${bound[@]}")
        gap=$(awk -v p="$p" -v b="$b" 'BEGIN { if (p ~ /^-?[0-9.]+$/ && b ~ /^-?[0-9.]+$/) printf "%.2f", p - b; else print "-" }')
        summary+="| ${channel} | ${baud}/${shift_hz} | ${p} | ${i} | ${b} | ${gap} |"$'\n'
    done
done

echo "## 1 % points"
echo
echo "SNR (dB, 3 kHz) from which the mean CER stays at or below 1 % (\"none\": never; \"<x\": already at the lowest SNR tried); the last column is pluvane-rtty's distance from the bound."
echo
echo "| channel | Bd/shift | pluvane-rtty | ideal timing | tone-aware bound | pluvane-rtty - bound (dB) |"
echo "|---|---|---:|---:|---:|---:|"
printf '%s' "$summary"
