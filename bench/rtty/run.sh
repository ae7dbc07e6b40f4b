#!/bin/bash
# RTTY benchmark: pluvane-rtty against minimodem on the same noisy signals.
#
# Bulletin text is sent by minimodem's modulator (an independent one), white
# Gaussian noise is added at each SNR (in a 3 kHz bandwidth), and both
# decoders read the same files. Prints a Markdown report: character error
# rate per SNR, the SNR where each reaches 1 %, the difference, and the
# decoding speed of each as a multiple of real time.
#
#   bench/rtty/run.sh [BUILD_DIR]      (default: build)
# Environment: RTTY_BENCH_CHARS (default 3000), RTTY_BENCH_SNRS (default -11..6,
# in half decibels where the curves cross 1 %),
# RTTY_BENCH_CONFIGS (default "50/425 50/850 75/425 75/850 50/450").
set -euo pipefail

build=${1:-build}
. "$(dirname "$0")/common.sh"
bench_setup "$build"

chars=${RTTY_BENCH_CHARS:-3000}
snrs=${RTTY_BENCH_SNRS:-"-11 -10 -9 -8.5 -8 -7.5 -7 -6.5 -6 -5.5 -5 -4.5 -4 -3.5 -3 -2 -1 0 1 2 3 4 5 6"}
configs=${RTTY_BENCH_CONFIGS:-"50/425 50/850 75/425 75/850 50/450"}
centre=1500
rate=8000

now() { date +%s.%N; }
add() { echo "$1 + $2" | bc -l; }

oursSeconds=0; minimodemSeconds=0; audioSeconds=0
summary=""
echo "# RTTY benchmark: pluvane-rtty against minimodem"
echo
bench_header
echo "- Signal: minimodem --tx --baudot --stopbits 1.5, ${rate} Hz, centre ${centre} Hz, ${chars} characters of bulletin text per point; SNR in 3 kHz"
echo

seed=0
for config in $configs; do
    baud=${config%/*}
    shift_hz=${config#*/}
    seed=$((seed + 1))
    send_bulletin "$baud" "$shift_hz" "$seed"
    length=$("$tool" seconds "$work/clean.wav")

    echo "## ${baud} Bd, ${shift_hz} Hz shift"
    echo
    echo "| SNR (dB) | CER pluvane-rtty | CER minimodem |"
    echo "|---:|---:|---:|"
    oursCurve=(); minimodemCurve=()
    point=0
    for snr in $snrs; do
        point=$((point + 1))
        echo "${baud}/${shift_hz} at ${snr} dB" >&2
        "$tool" noise "$work/clean.wav" "$work/noisy.wav" "$snr" "$((seed * 100 + point))"
        t0=$(now)
        "$decoder" decode --quiet --baud "$baud" --shift "$shift_hz" --centre "$centre" "$work/noisy.wav" >"$work/ours.txt"
        t1=$(now)
        minimodem --rx -q --baudot --stopbits 1.5 -M "$mark" -S "$space" -f "$work/noisy.wav" "$baud" >"$work/minimodem.txt" 2>/dev/null || true
        t2=$(now)
        oursSeconds=$(add "$oursSeconds" "$(echo "$t1 - $t0" | bc -l)")
        minimodemSeconds=$(add "$minimodemSeconds" "$(echo "$t2 - $t1" | bc -l)")
        audioSeconds=$(add "$audioSeconds" "$length")
        ours=$("$tool" cer "$work/reference.txt" "$work/ours.txt")
        theirs=$("$tool" cer "$work/reference.txt" "$work/minimodem.txt")
        oursCurve+=("$snr:$ours"); minimodemCurve+=("$snr:$theirs")
        printf '| %s | %.2f %% | %.2f %% |\n' "$snr" "$(echo "$ours * 100" | bc -l)" "$(echo "$theirs * 100" | bc -l)"
    done
    oursAt=$("$tool" crossing "${oursCurve[@]}")
    theirsAt=$("$tool" crossing "${minimodemCurve[@]}")
    gain="n/a"
    if [[ $oursAt =~ ^-?[0-9.]+$ && $theirsAt =~ ^-?[0-9.]+$ ]]; then
        gain=$(printf '%.2f' "$(echo "$theirsAt - $oursAt" | bc -l)")
    fi
    echo
    summary+="| ${baud}/${shift_hz} | ${oursAt} | ${theirsAt} | ${gain} |"$'\n'
done

echo "## Summary"
echo
echo "| Bd/shift | SNR at CER 1 %, pluvane-rtty (dB) | minimodem (dB) | pluvane-rtty better by (dB) |"
echo "|---|---:|---:|---:|"
printf '%s' "$summary"
echo
oursSpeed=$(echo "$audioSeconds / $oursSeconds" | bc -l)
theirSpeed=$(echo "$audioSeconds / $minimodemSeconds" | bc -l)
printf 'Decoding speed (all files, %.0f s of audio): pluvane-rtty %.0f x real time, minimodem %.0f x real time; ratio %.2f\n' \
    "$audioSeconds" "$oursSpeed" "$theirSpeed" "$(echo "$oursSpeed / $theirSpeed" | bc -l)"
echo
echo "## Live decoding: an hour of the demo broadcast (50 Bd, 425 Hz, +6 dB, slow fading) in 10 ms blocks"
echo
"$tool" live "${RTTY_BENCH_LIVE_MINUTES:-60}"
