#!/bin/sh
# Decoding on real teletype noise: two bulletins of the test corpus are sent
# as 100-baud RTTY through white noise, received by the project's RTTY
# demodulator, and decoded; each report is scored against the text sent.
#
#   rtty_roundtrip.sh BUILD_DIR            a sweep over signal-to-noise ratios
#   rtty_roundtrip.sh BUILD_DIR --check    pass/fail bounds at 0 and -3 dB
set -eu
build=${1:?usage: rtty_roundtrip.sh BUILD_DIR [--check]}
mode=${2:-sweep}
here=$(cd "$(dirname "$0")" && pwd)
corpus="$here/../../synopdecoder/tests/data/clean.txt"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk '{ print } /^NNNN/ { if (++n == 2) exit }' "$corpus" >"$work/sent.txt"

run() {  # run SNR [bounds...]
    snr=$1
    shift
    "$build/bin/pluvane-rtty" encode --baud 100 --shift 850 --centre 1700 --snr "$snr" --seed 3 \
        "$work/sent.txt" "$work/signal.wav" 2>/dev/null
    "$build/bin/pluvane-rtty" decode --quiet --baud 100 --shift 850 --centre 1700 "$work/signal.wav" >"$work/received.txt"
    printf 'SNR %3s dB: ' "$snr"
    "$build/bin/synop_roundtrip" "$work/sent.txt" "$work/received.txt" "$@"
}

if [ "$mode" = "--check" ]; then
    run 0 100 100 0
    run -3 95 95 1
else
    for snr in 6 0 -3 -5 -7; do run "$snr"; done
fi
