#!/bin/bash
# A line set wrong, on recordings as near to off-air ones as can be made
# here: real SYNOP bulletins (AWIPS, kept with the decoder's tests), sent by minimodem (not
# our modulator), through the HF channels. For each recording pluvane-rtty
# decodes at its defaults (50 Bd, 425 Hz, 1500 Hz, normal), on the right
# line and with --auto; a line that does not fit must print at most 10
# characters and exit 3, the right line must decode (exit 0). The last
# recording is sent on the defaults themselves: there, weak or faded, the
# defaults are the right line and must not be taken for a wrong one.
#
#   bench/rtty/wrong-line.sh [BUILD_DIR]      (default: build)
set -euo pipefail

build=${1:-build}
. "$(dirname "$0")/common.sh"
bench_setup "$build"
rate=8000
data=$(dirname "$0")/../../synopdecoder/tests/data/real/awips-bulletins

# Four bulletins, each framed as a broadcast sends it.
n=0
for f in awips_smpr01_spim_a.txt awips_smve01_nzkl_ships.txt awips_ssvx13_lfvw_buoys.txt awips_smpr01_spim_b.txt; do
    n=$((n + 1))
    printf 'ZCZC %03d\r\n' "$n"
    tr -d '\r\001\003' <"$data/$f" | sed 's/$/\r/'  # without the files' SOH and ETX
    printf '\r\nNNNN\r\n\r\n'
done >"$work/reference.txt"
tr '=+' ';"' <"$work/reference.txt" >"$work/send.txt"

# send BAUD SHIFT CENTRE INVERTED(0/1) -> $work/clean.wav, a second of noise-only lead-in left to the channel
send() {
    local upper lower mark space
    upper=$(echo "$3 + $2 / 2" | bc -l); lower=$(echo "$3 - $2 / 2" | bc -l)
    if [ "$4" = 1 ]; then mark=$lower; space=$upper; else mark=$upper; space=$lower; fi
    minimodem --tx --baudot --stopbits 1.5 -M "$mark" -S "$space" -R "$rate" -f "$work/clean.wav" "$1" <"$work/send.txt" 2>/dev/null
}

lineArgs() { local a="--baud $1 --shift $2 --centre $3"; [ "$4" = 1 ] && a+=" --inverted"; echo "$a"; }

echo "# A line set wrong on recordings of real bulletins (bench/rtty/wrong-line.sh)"
echo
bench_header
echo "- Text: $(wc -c <"$work/reference.txt") characters of four real bulletins (AWIPS: SMPR01 SPIM, SMVE01 NZKL, SSVX13 LFVW, SMPR01 SPIM), sent by minimodem --tx --stopbits 1.5"
echo "- Decoded at the defaults (50 Bd, 425 Hz, 1500 Hz, normal), on the right line, and with --auto"
echo
echo "| sent | channel, SNR | defaults: characters, exit | right line: CER, exit | --auto: CER, exit, line heard |"
echo "|---|---|---:|---:|---|"
for sent in "50 450 1977 1" "75 850 1500 0" "50 425 1500 1" "50 170 1500 0" "50 425 1500 0"; do
    set -- $sent
    send "$1" "$2" "$3" "$4"
    label="$1 Bd, $2 Hz, $3 Hz, $([ "$4" = 1 ] && echo inverted || echo normal)"
    for point in "white 10" "white -3" "moderate 20" "moderate 6" "flat 12" "storm 12" "dips20 15" "selective 10"; do
        set -- $point
        channel=$1; snr=$2
        read -r baud shift_hz centre_hz inverted <<<"$sent"
        "$tool" channel "$channel" "$work/clean.wav" "$work/received.wav" "$snr" 7 "$centre_hz" "$shift_hz"
        exitDefault=0; "$decoder" decode --quiet "$work/received.wav" >"$work/default.txt" 2>/dev/null || exitDefault=$?
        printed=$(tr -d '\r\n' <"$work/default.txt" | wc -c)
        exitRight=0; "$decoder" decode --quiet $(lineArgs "$baud" "$shift_hz" "$centre_hz" "$inverted") "$work/received.wav" >"$work/right.txt" 2>/dev/null || exitRight=$?
        exitAuto=0; "$decoder" decode --auto "$work/received.wav" >"$work/auto.txt" 2>"$work/auto.err" || exitAuto=$?
        heard=$(grep -o 'centre [^;]*' "$work/auto.err" | head -1 | tr '|' '/' || true)
        echo "| $label | $channel $snr dB | $printed, $exitDefault | $(percent "$("$tool" cer "$work/reference.txt" "$work/right.txt")"), $exitRight | $(percent "$("$tool" cer "$work/reference.txt" "$work/auto.txt")"), $exitAuto, ${heard:-?} |"
    done
done
