#!/bin/bash
# Two builds of pluvane-rtty on the same HF-channel files, over several
# seeds: a change to the demodulator is judged on all of them, not on one
# file (a character or two of difference on one file is a fade or a burst
# landing elsewhere, not a finding).
#
#   bench/rtty/seeds.sh BEFORE_DECODER AFTER_DECODER [BUILD_DIR]   (default: build)
# Environment: RTTY_SEEDS_POINTS (default "storm:24 impulse:10 dips20:40
# dips20:15 flat:24 moderate:6 selective:4 flutter:24 white:-7"),
# RTTY_SEEDS (default "1 2 3 4"), RTTY_SEEDS_CHARS (default 1400),
# RTTY_SEEDS_LINES (default "50/450 50/425 75/850").
# Prints a Markdown table: per channel, SNR and line, the CER of each
# decoder pooled over the seeds, and each seed's in brackets.
set -euo pipefail

before=$1
after=$2
build=${3:-build}
. "$(dirname "$0")/common.sh"
bench_setup "$build" "$before" "$after"
points=${RTTY_SEEDS_POINTS:-"storm:24 impulse:10 dips20:40 dips20:15 flat:24 moderate:6 selective:4 flutter:24 white:-7"}
seeds=${RTTY_SEEDS:-"1 2 3 4"}
chars=${RTTY_SEEDS_CHARS:-1400}
lines=${RTTY_SEEDS_LINES:-"50/450 50/425 75/850"}
centre=1500
rate=8000

echo "# Two decoders on the same files, ${chars} characters a seed, seeds ${seeds}"
echo
bench_header
echo "- Before: ${before}; after: ${after}"
echo
echo "| channel, SNR | line | before | after |"
echo "|---|---|---:|---:|"
for line in $lines; do
    baud=${line%/*}
    shift_hz=${line#*/}
    for seed in $seeds; do
        send_bulletin "$baud" "$shift_hz" "$seed"
        cp "$work/clean.wav" "$work/clean-$seed.wav"
        cp "$work/reference.txt" "$work/reference-$seed.txt"
    done
    for point in $points; do
        channel=${point%:*}
        snr=${point##*:}  # the last field: channel names carry colons of their own
        row=""
        for decoder in "$before" "$after"; do
            total=0
            each=""
            for seed in $seeds; do
                "$tool" channel "$channel" "$work/clean-$seed.wav" "$work/received.wav" "$snr" "$((seed * 1000 + 77))" "$centre" "$shift_hz"
                "$decoder" decode --quiet --baud "$baud" --shift "$shift_hz" --centre "$centre" "$work/received.wav" >"$work/decoded.txt" || true
                cer=$("$tool" cer "$work/reference-$seed.txt" "$work/decoded.txt")
                total=$(echo "$total + $cer" | bc -l)
                each="$each $(printf '%.2f' "$(echo "$cer * 100" | bc -l)")"
            done
            row="$row | $(printf '%.2f' "$(echo "$total * 100 / $(echo $seeds | wc -w)" | bc -l)") % [${each# }]"
        done
        echo "| ${channel}, ${snr} dB | ${line}${row} |"
    done
done
