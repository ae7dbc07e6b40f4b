#!/bin/bash
# Several receivers of one broadcast: pluvane-rtty decoding 2, 3 and 4
# sources as one, against the best of three receivers decoded alone and
# against a character-by-character majority vote of those three texts.
#
# Bulletin text is sent by minimodem's modulator (50 Bd, 450 Hz, reverse:
# mark the lower tone, as the German weather service sends it); each
# receiver gets its own independent channel (rtty/channel, seeded apart),
# its own delay, mistuning and audio level, and white noise at the SNR of
# the row (each receiver's own SNR in 3 kHz). Prints a Markdown report:
# CER per SNR for each channel, the 1 % points, a dead or silent receiver
# beside two live ones, a receiver that starts 20 s late, alignment and
# tuning times, latency and CPU.
#
#   bench/rtty/diversity.sh [BUILD_DIR]      (default: build)
# Environment: RTTY_DIV_CHARS (default 1500), RTTY_DIV_CHANNELS (default
# "white moderate poor flutter dips20"). About 20 minutes on two cores.
set -euo pipefail

build=${1:-build}
. "$(dirname "$0")/common.sh"
bench_setup "$build"
divtool=$build/bin/rtty-diversity-tool
[ -x "$divtool" ] || { echo "missing $divtool: build rtty-diversity-tool first" >&2; exit 2; }

chars=${RTTY_DIV_CHARS:-1500}
channels=${RTTY_DIV_CHANNELS:-"white moderate poor flutter dips20"}
centre=1500
rate=8000
baud=50
shift_hz=450
line="--baud $baud --shift $shift_hz --centre $centre --inverted"
# The receivers: delay (s), mistuning (Hz), audio level.
delays=(0 0.23 0.41 0.12)
offsets=(0 12 -27 30)
levels=(1 0.3 2 0.7)

snrsFor() {
    case $1 in
        white) echo "-12 -11 -10 -9 -8 -7 -6" ;;
        moderate|poor|flutter|dips20) echo "-10 -8 -6 -4 -2 0 2 4" ;;
    esac
}

# makeBranches CHANNEL SNR SEED [MODE3]: $work/b1..b4.wav (the third in MODE3:
# live, dead or silent).
makeBranches() {
    local channel=$1 snr=$2 seed=$3 mode3=${4:-live}
    for i in 0 1 2 3; do
        local mode=live
        [ $i = 2 ] && mode=$mode3
        "$divtool" branch "$work/clean.wav" "$work/b$((i + 1)).wav" "$channel" "$snr" "$((seed * 10 + i))" \
            "$centre" "$shift_hz" "${delays[$i]}" "${offsets[$i]}" "${levels[$i]}" 0 "$mode"
    done
}

decodeAlone() { "$decoder" decode --quiet $line "$work/b$1.wav" >"$work/alone$1.txt"; }
cerOf() { "$tool" cer "$work/reference.txt" "$1"; }
min() { printf '%s\n' "$@" | sort -g | head -1; }

echo "# Several receivers of one broadcast, decoded as one"
echo
bench_header
echo "- Signal: minimodem --tx --baudot --stopbits 1.5, ${rate} Hz, ${baud} Bd, ${shift_hz} Hz shift, reverse (mark ${centre}-225 Hz), ${chars} characters of bulletin text per point"
echo "- Receivers: independent channels (seeded apart), delays ${delays[*]} s, mistuning ${offsets[*]} Hz, levels ${levels[*]}; the SNR is each receiver's own, in 3 kHz"
echo "- Best alone: the lowest CER of receivers 1-3 each decoded alone (chosen afterwards, which no live decoder can do); vote: a character-by-character majority of those three texts (rtty-diversity-tool vote)"
echo

# minimodem's reverse: mark is the lower tone.
send_bulletin "$baud" "$shift_hz" 1
mark=$(echo "$centre - $shift_hz / 2" | bc -l)
space=$(echo "$centre + $shift_hz / 2" | bc -l)
minimodem --tx --baudot --stopbits 1.5 -M "$mark" -S "$space" -R "$rate" -f "$work/clean.wav" "$baud" <"$work/send.txt" 2>/dev/null

summary=""
seed=0
for channel in $channels; do
    echo "## ${channel}"
    echo
    echo "| SNR (dB) | receiver 1 | receiver 2 | receiver 3 | best alone | vote of 3 | 2 combined | 3 combined | 4 combined |"
    echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    best=(); vote=(); two=(); three=(); four=()
    for snr in $(snrsFor "$channel"); do
        seed=$((seed + 1))
        echo "${channel} at ${snr} dB" >&2
        makeBranches "$channel" "$snr" "$seed"
        for i in 1 2 3; do decodeAlone $i; done
        a1=$(cerOf "$work/alone1.txt"); a2=$(cerOf "$work/alone2.txt"); a3=$(cerOf "$work/alone3.txt")
        "$divtool" vote "$work/alone1.txt" "$work/alone2.txt" "$work/alone3.txt" >"$work/vote.txt"
        v=$(cerOf "$work/vote.txt")
        "$decoder" decode --quiet $line "$work/b1.wav" "$work/b2.wav" >"$work/c2.txt"
        "$decoder" decode --quiet $line "$work/b1.wav" "$work/b2.wav" "$work/b3.wav" >"$work/c3.txt"
        "$decoder" decode --quiet $line "$work/b1.wav" "$work/b2.wav" "$work/b3.wav" "$work/b4.wav" >"$work/c4.txt"
        c2=$(cerOf "$work/c2.txt"); c3=$(cerOf "$work/c3.txt"); c4=$(cerOf "$work/c4.txt")
        b=$(min "$a1" "$a2" "$a3")
        best+=("$snr:$b"); vote+=("$snr:$v"); two+=("$snr:$c2"); three+=("$snr:$c3"); four+=("$snr:$c4")
        echo "| $snr | $(percent "$a1") | $(percent "$a2") | $(percent "$a3") | $(percent "$b") | $(percent "$v") | $(percent "$c2") | $(percent "$c3") | $(percent "$c4") |"
    done
    echo
    summary+="| ${channel} | $("$tool" crossing "${best[@]}") | $("$tool" crossing "${vote[@]}") | $("$tool" crossing "${two[@]}") | $("$tool" crossing "${three[@]}") | $("$tool" crossing "${four[@]}") |"$'\n'
done

echo "## 1 % points"
echo
echo "SNR of each receiver (dB, 3 kHz) at CER 1 % (\"none\": not reached; \"<x\": already at the lowest SNR tried)."
echo
echo "| channel | best alone | vote of 3 | 2 combined | 3 combined | 4 combined |"
echo "|---|---:|---:|---:|---:|---:|"
printf '%s' "$summary"
echo

# A third receiver that hears nothing of the station, beside two live ones.
echo "## Two live receivers and one dead (moderate fading)"
echo
echo "| SNR (dB) | 2 live | 2 live + noise only | 2 live + silent |"
echo "|---:|---:|---:|---:|"
live=(); dead=(); silent=()
for snr in -8 -6 -4 -2 0 2; do
    seed=$((seed + 1))
    echo "dead branch at ${snr} dB" >&2
    makeBranches moderate "$snr" "$seed" dead
    "$decoder" decode --quiet $line "$work/b1.wav" "$work/b2.wav" >"$work/c2.txt"
    "$decoder" decode --quiet $line "$work/b1.wav" "$work/b2.wav" "$work/b3.wav" >"$work/cd.txt"
    makeBranches moderate "$snr" "$seed" silent
    "$decoder" decode --quiet $line "$work/b1.wav" "$work/b2.wav" "$work/b3.wav" >"$work/cs.txt"
    x=$(cerOf "$work/c2.txt"); y=$(cerOf "$work/cd.txt"); z=$(cerOf "$work/cs.txt")
    live+=("$snr:$x"); dead+=("$snr:$y"); silent+=("$snr:$z")
    echo "| $snr | $(percent "$x") | $(percent "$y") | $(percent "$z") |"
done
echo
echo "1 % points: 2 live $("$tool" crossing "${live[@]}") dB, with a noise-only third $("$tool" crossing "${dead[@]}") dB, with a silent third $("$tool" crossing "${silent[@]}") dB."
echo

# Alignment and tuning: the 0.41 s, -27 Hz receiver, and one that starts 20 s late.
echo "## Alignment, tuning and a late receiver (moderate, 0 dB each)"
echo
makeBranches moderate 0 99
"$divtool" branch "$work/clean.wav" "$work/late.wav" moderate 0 995 "$centre" "$shift_hz" 0.3 18 1 20 live
"$decoder" decode $line "$work/b1.wav" "$work/b2.wav" "$work/b3.wav" >"$work/c3.txt" 2>"$work/c3.err"
echo '```'
grep "branch" "$work/c3.err"
echo '```'
echo
"$decoder" decode $line "$work/b1.wav" "$work/late.wav" >"$work/cl.txt" 2>"$work/cl.err"
decodeAlone 1
echo "Receiver 1 alone: CER $(percent "$(cerOf "$work/alone1.txt")"); with a second receiver (0.3 s, +18 Hz) switched on 20 s into the transmission: $(percent "$(cerOf "$work/cl.txt")")."
echo
echo '```'
grep "branch" "$work/cl.err"
echo '```'
echo

echo "## Latency (moderate, +6 dB, 10 ms blocks)"
echo
echo "From the end of each character's stop bit in the receiver that hears it first to the block it comes out after; the combined run after the first 200 characters (all aligned)."
echo
echo '```'
"$divtool" latency moderate 6 0 0.23 0.41
echo '```'
echo

echo "## CPU (moderate, 0 dB, the files above)"
echo
TIMEFORMAT='%3U %3S'
cpu() { { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{print $1 + $2}'; }
one=0; three_=0
for run in 1 2 3; do
    one=$(echo "$one + $(cpu "$decoder" decode --quiet $line "$work/b1.wav")" | bc -l)
    three_=$(echo "$three_ + $(cpu "$decoder" decode --quiet $line "$work/b1.wav" "$work/b2.wav" "$work/b3.wav")" | bc -l)
done
seconds=$("$tool" seconds "$work/b1.wav")
printf 'One receiver: %.2f s of CPU for %.0f s of audio (three runs); three combined: %.2f s; ratio %.2f.\n' \
    "$one" "$(echo "$seconds * 3" | bc -l)" "$three_" "$(echo "$three_ / $one" | bc -l)"
