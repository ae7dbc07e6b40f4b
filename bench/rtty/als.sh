#!/bin/bash
# Line search benchmark: pluvane-rtty decode --auto against decoding with the
# line given, in the same run on the same files.
#
#  1. White noise: CER against SNR for --auto and for the line given (signal
#     from minimodem's modulator, as in run.sh), and the SNR where each
#     reaches 1 %.
#  2. Moderate fading (ITU-R F.1487, the bench tool's channel): random lines
#     (45.45-100 Bd, 85-1000 Hz shift, either polarity, centre 600-2400 Hz)
#     at +6, +12 and +24 dB: the share of files on which --auto finds the
#     line (speed, polarity, centre and shift within 10 Hz) within 10 s of
#     signal.
#  3. A signal that starts 30 s into the file at 0 dB in white noise:
#     found, and the CER of what --auto decodes.
#
#   bench/rtty/als.sh [BUILD_DIR]      (default: build)
# Environment: ALS_BENCH_CHARS (default 2000), ALS_BENCH_SNRS (white noise
# SNRs, default -9..-4 in half decibels), ALS_BENCH_CONFIGS (default
# "50/450 50/425 75/850"), ALS_BENCH_FADED (files per SNR, default 15),
# ALS_BENCH_LATE (files, default 8).
set -euo pipefail

build=${1:-build}
. "$(dirname "$0")/common.sh"
bench_setup "$build"

chars=${ALS_BENCH_CHARS:-2000}
snrs=${ALS_BENCH_SNRS:-"-9 -8.5 -8 -7.5 -7 -6.5 -6 -5.5 -5 -4.5 -4"}
configs=${ALS_BENCH_CONFIGS:-"50/450 50/425 75/850"}
faded=${ALS_BENCH_FADED:-15}
late=${ALS_BENCH_LATE:-8}
centre=1500
rate=8000

# What the line search reported on stderr: "BAUD SHIFT CENTRE POLARITY SECONDS", or nothing.
found() {
    sed -n 's/.*line search: centre \([0-9.]*\) Hz, shift \([0-9.]*\) Hz, \([0-9.]*\) Bd, \([a-z]*\) polarity (\([0-9.]*\) s.*/\3 \2 \1 \4 \5/p' "$1"
}
near() { echo "define a(x) { if (x < 0) return -x; return x }; a($1 - $2) <= $3" | bc -l; }

echo "# Line search benchmark: pluvane-rtty decode --auto"
echo
bench_header
echo

echo "## White noise: --auto against the line given"
echo
echo "minimodem --tx --baudot --stopbits 1.5, ${rate} Hz, centre ${centre} Hz, ${chars} characters per point; SNR in 3 kHz."
echo
summary=""
seed=0
for config in $configs; do
    baud=${config%/*}
    shift_hz=${config#*/}
    seed=$((seed + 1))
    send_bulletin "$baud" "$shift_hz" "$seed"
    echo "### ${baud} Bd, ${shift_hz} Hz shift"
    echo
    echo "| SNR (dB) | CER line given | CER --auto | line found |"
    echo "|---:|---:|---:|---|"
    givenCurve=(); autoCurve=()
    point=0
    for snr in $snrs; do
        point=$((point + 1))
        echo "white ${baud}/${shift_hz} at ${snr} dB" >&2
        "$tool" noise "$work/clean.wav" "$work/noisy.wav" "$snr" "$((seed * 100 + point))"
        "$decoder" decode --quiet --baud "$baud" --shift "$shift_hz" --centre "$centre" "$work/noisy.wav" >"$work/given.txt"
        "$decoder" decode --quiet --auto "$work/noisy.wav" >"$work/auto.txt" 2>"$work/auto.err" || true
        given=$("$tool" cer "$work/reference.txt" "$work/given.txt")
        auto=$("$tool" cer "$work/reference.txt" "$work/auto.txt")
        line=$(found "$work/auto.err")
        givenCurve+=("$snr:$given"); autoCurve+=("$snr:$auto")
        printf '| %s | %s | %s | %s |\n' "$snr" "$(percent "$given")" "$(percent "$auto")" "${line:-none}"
    done
    givenAt=$("$tool" crossing "${givenCurve[@]}")
    autoAt=$("$tool" crossing "${autoCurve[@]}")
    cost="n/a"
    if [[ $givenAt =~ ^-?[0-9.]+$ && $autoAt =~ ^-?[0-9.]+$ ]]; then
        cost=$(printf '%.2f' "$(echo "$autoAt - $givenAt" | bc -l)")
    fi
    summary+="| ${baud}/${shift_hz} | ${givenAt} | ${autoAt} | ${cost} |"$'\n'
    echo
done
echo "| Bd/shift | 1 % point, line given (dB) | 1 % point, --auto (dB) | cost of --auto (dB) |"
echo "|---|---:|---:|---:|"
printf '%s' "$summary"
echo

# Random lines, seeded: baud shift centre polarity.
randomLine() {
    local h=$((($1 * 2654435761) % 4294967296))
    local bauds=(45.45 50 75 100) shifts=(85 170 425 450 850 1000)
    local baud=${bauds[$((h % 4))]} shift_hz=${shifts[$(((h / 4) % 6))]}
    local centre_hz=$((600 + (h / 48) % 1800))
    # Both tones inside the band.
    if (($(echo "$centre_hz - $shift_hz / 2 < 300" | bc -l))); then centre_hz=$(echo "300 + $shift_hz / 2" | bc -l); fi
    echo "$baud $shift_hz $centre_hz $(((h / 24) % 2))"
}

echo "## Moderate fading: line found within 10 s of signal"
echo
echo "${faded} files per SNR, each a random line (speed, shift 85-1000 Hz, polarity, centre) with 60 s of bulletin text from pluvane-rtty encode, through the bench tool's moderate channel (2 paths 1 ms apart, 0.5 Hz Doppler spread)."
echo
echo "| SNR (dB) | found within 10 s | found later | not found or wrong |"
echo "|---:|---:|---:|---:|"
for snr in 6 12 24; do
    quick=0; slow=0; wrong=0
    for n in $(seq 1 "$faded"); do
        read -r baud shift_hz centre_hz inverted <<<"$(randomLine "$((n + 17))")"
        echo "moderate ${baud}/${shift_hz} at ${snr} dB" >&2
        "$tool" text 450 "$((n + 50))" >"$work/faded.txt"
        polarity=(); [ "$inverted" = 1 ] && polarity=(--inverted)
        "$decoder" encode --baud "$baud" --shift "$shift_hz" --centre "$centre_hz" "${polarity[@]}" --float "$work/faded.txt" "$work/clean.wav"
        "$tool" channel moderate "$work/clean.wav" "$work/faded.wav" "$snr" "$((n * 7 + 1))" "$centre_hz" "$shift_hz"
        "$decoder" decode --quiet --auto "$work/faded.wav" >/dev/null 2>"$work/auto.err" || true
        read -r b s c p t <<<"$(found "$work/auto.err")" || true
        want=normal; [ "$inverted" = 1 ] && want=inverted
        if [ -n "${b:-}" ] && [ "$b" = "$baud" ] && [ "$p" = "$want" ] && [ "$(near "$s" "$shift_hz" 10)" = 1 ] \
            && [ "$(near "$c" "$centre_hz" 10)" = 1 ]; then
            if (($(echo "$t <= 10" | bc -l))); then quick=$((quick + 1)); else slow=$((slow + 1)); fi
        else
            wrong=$((wrong + 1))
            echo "  not found: ${baud} Bd ${shift_hz} Hz centre ${centre_hz} inverted ${inverted}: $(tail -1 "$work/auto.err")" >&2
        fi
        b=""
    done
    echo "| +${snr} | ${quick} of ${faded} | ${slow} | ${wrong} |"
done
echo

echo "## A signal that starts 30 s into the file, 0 dB white noise"
echo
echo "pluvane-rtty encode --lead-in 30 --snr 0 (noise from the start), 1000 characters of bulletin text, random lines as above."
echo
echo "| line | found | after signal start (s) | CER --auto |"
echo "|---|---|---:|---:|"
for n in $(seq 1 "$late"); do
    read -r baud shift_hz centre_hz inverted <<<"$(randomLine "$((n + 101))")"
    echo "late ${baud}/${shift_hz}" >&2
    "$tool" text 1000 "$((n + 200))" >"$work/reference.txt"
    polarity=(); [ "$inverted" = 1 ] && polarity=(--inverted)
    "$decoder" encode --baud "$baud" --shift "$shift_hz" --centre "$centre_hz" "${polarity[@]}" --float --snr 0 \
        --seed "$n" --lead-in 30 "$work/reference.txt" "$work/late.wav"
    "$decoder" decode --quiet --auto "$work/late.wav" >"$work/auto.txt" 2>"$work/auto.err" || true
    read -r b s c p t <<<"$(found "$work/auto.err")" || true
    cer=$("$tool" cer "$work/reference.txt" "$work/auto.txt")
    after="-"; [ -n "${t:-}" ] && after=$(printf '%.1f' "$(echo "$t - 30" | bc -l)")
    want=normal; [ "$inverted" = 1 ] && want=inverted
    right=no
    if [ -n "${b:-}" ] && [ "$b" = "$baud" ] && [ "$p" = "$want" ] && [ "$(near "$s" "$shift_hz" 10)" = 1 ]; then right=yes; fi
    printf '| %s Bd, %s Hz, centre %s, %s | %s | %s | %s |\n' "$baud" "$shift_hz" "$centre_hz" "$want" "$right" "$after" "$(percent "$cer")"
    b=""; t=""
done
