#!/bin/bash
# A voice on the frequency and nothing else: what the squelch lets through.
# For each line, one-minute voices (speech-like noise: voice band, syllabic
# envelope, pitch harmonics) at several levels and seeds, decoded by two
# builds of pluvane-rtty on the same files; characters other than spaces and
# line ends are counted (asked: at most 2 a minute on every line).
#
#   bench/rtty/speech.sh BEFORE_DECODER AFTER_DECODER [BUILD_DIR]   (default: build)
# Environment: RTTY_SPEECH_SEEDS (default 1-20), RTTY_SPEECH_LEVELS (dB,
# default "0 10 20"), RTTY_SPEECH_LINES (default "50/450 50/425 75/850").
# Prints a Markdown table per line and level, and each voice that printed.
set -euo pipefail

before=$1
after=$2
build=${3:-build}
. "$(dirname "$0")/common.sh"
bench_setup "$build" "$before" "$after"
seeds=${RTTY_SPEECH_SEEDS:-$(seq -s ' ' 1 20)}
levels=${RTTY_SPEECH_LEVELS:-"0 10 20"}
lines=${RTTY_SPEECH_LINES:-"50/450 50/425 75/850"}
centre=1500
rate=8000
seconds=60

# One minute of silence at 8 kHz, 16-bit mono: the voice is all the channel adds.
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
bytes=$((rate * seconds * 2))
{
    printf 'RIFF'; le32 $((36 + bytes)); printf 'WAVEfmt '; le32 16
    printf '\x01\x00\x01\x00'; le32 $rate; le32 $((rate * 2)); printf '\x02\x00\x10\x00'
    printf 'data'; le32 $bytes
    head -c "$bytes" /dev/zero
} >"$work/silence.wav"

count() { tr -d ' \r\n' <"$1" | wc -c; }

echo "# Speech-like noise alone: characters printed (bench/rtty/speech.sh)"
echo
bench_header
echo "- Before: ${before}; after: ${after}"
echo "- $(echo $seeds | wc -w) one-minute voices a level, seeds ${seeds}; characters other than spaces and line ends"
echo
echo "| line | voice level | before | after |"
echo "|---|---:|---:|---:|"
voices=""
declare -A total
for line in $lines; do
    baud=${line%/*}
    shift_hz=${line#*/}
    total[$line.b]=0; total[$line.a]=0
    for level in $levels; do
        sum_b=0; sum_a=0
        for seed in $seeds; do
            "$tool" channel speech "$work/silence.wav" "$work/voice.wav" "$level" "$seed" "$centre" "$shift_hz"
            "$before" decode --quiet --baud "$baud" --shift "$shift_hz" --centre "$centre" "$work/voice.wav" >"$work/b.txt" || true
            "$after" decode --quiet --baud "$baud" --shift "$shift_hz" --centre "$centre" "$work/voice.wav" >"$work/a.txt" || true
            b=$(count "$work/b.txt"); a=$(count "$work/a.txt")
            sum_b=$((sum_b + b)); sum_a=$((sum_a + a))
            if [ "$b" -gt 0 ] || [ "$a" -gt 0 ]; then
                voices="$voices- ${line}, seed ${seed}, +${level} dB: ${b} / ${a}"$'\n'
            fi
        done
        total[$line.b]=$((total[$line.b] + sum_b)); total[$line.a]=$((total[$line.a] + sum_a))
        echo "| ${line} | +${level} dB | ${sum_b} | ${sum_a} |"
    done
    minutes=$(( $(echo $seeds | wc -w) * $(echo $levels | wc -w) ))
    printf '| %s | all (%d minutes) | %d (%.2f a minute) | %d (%.2f a minute) |\n' "$line" "$minutes" \
        "${total[$line.b]}" "$(echo "${total[$line.b]} / $minutes" | bc -l)" \
        "${total[$line.a]}" "$(echo "${total[$line.a]} / $minutes" | bc -l)"
done
echo
echo "Voices that printed (before / after):"
echo
printf '%s' "${voices:-- none
}"
