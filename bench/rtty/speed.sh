#!/bin/bash
# CPU for an hour of audio: pluvane-rtty decode (the whole command line,
# with the line given, and with --auto) against minimodem on the same file.
# Bulletin text sent by minimodem's modulator (50 Bd, 425 Hz, 8000 Hz),
# white noise at +10 dB in 3 kHz. The decoder reads the file, and the same
# samples as raw PCM through a pipe (`cat FILE | pluvane-rtty decode --raw
# ... -`, as from sox or arecord; cat's own CPU, a few hundredths of a
# second, is counted with it). Prints a Markdown table of user+system CPU
# seconds (the decoders' own, not the wall clock: a busy machine makes the
# ratio noisier, not biased) and the CER of each.
#
#   bench/rtty/speed.sh [BUILD_DIR]     (default: build)
# The card server's row: a card whose inputs play the same file (`--card
# 1=wav:FILE`), opened and set to BAUDOT at its defaults, run at
# RTTY_SPEED_CARD_SCALE times real time (default 60) for
# RTTY_SPEED_CARD_SECONDS of the clock (default 60: an hour of audio in a
# minute); its CPU is scaled to the file's length. The card prints from
# where it is when opened, so its row shows the characters it sent rather
# than a CER.
# Environment: RTTY_SPEED_CHARS (default 24000: about 69 minutes of audio).
set -euo pipefail

build=${1:-build}
. "$(dirname "$0")/common.sh"
bench_setup "$build"
chars=${RTTY_SPEED_CHARS:-24000}
centre=1500
rate=8000
send_bulletin 50 425 9
"$tool" noise "$work/clean.wav" "$work/received.wav" 10 3
seconds=$("$tool" seconds "$work/received.wav")

cpu() {  # cpu OUT COMMAND...: the command's user + system CPU seconds
    local out=$1
    shift
    bash -c '"$@" >"$0" 2>/dev/null; times' "$out" "$@" | tail -1 |
        awk '{ split($1, u, "m"); split($2, s, "m"); sub("s", "", u[2]); sub("s", "", s[2]); print u[1] * 60 + u[2] + s[1] * 60 + s[2] }'
}

echo "# CPU for an hour of audio"
echo
bench_header
echo "- Audio: ${seconds} s, minimodem --tx --baudot 50 Bd / 425 Hz, white noise +10 dB"
echo
echo "| decoder | CPU (s) | x real time | CPU against minimodem | CER |"
echo "|---|---:|---:|---:|---:|"
mm=$(cpu "$work/mm.txt" minimodem --rx -q --baudot --stopbits 1.5 -M "$mark" -S "$space" -f "$work/received.wav" 50)
row() {
    local name=$1 seconds_cpu=$2 out=$3
    printf '| %s | %.2f | %.0f | %.2f | %s |\n' "$name" "$seconds_cpu" "$(echo "$seconds / $seconds_cpu" | bc -l)" \
        "$(echo "$seconds_cpu / $mm" | bc -l)" "$(percent "$("$tool" cer "$work/reference.txt" "$out")")"
}
row "minimodem 0.24" "$mm" "$work/mm.txt"
given=$(cpu "$work/given.txt" "$decoder" decode --quiet --baud 50 --shift 425 "$work/received.wav")
row "pluvane-rtty decode, line given" "$given" "$work/given.txt"
auto=$(cpu "$work/auto.txt" "$decoder" decode --quiet --auto "$work/received.wav")
row "pluvane-rtty decode --auto" "$auto" "$work/auto.txt"
# The float samples after the WAV header's data chunk, as raw f32le.
data=$(grep -obUa data "$work/received.wav" | head -1 | cut -d: -f1)
tail -c +$((data + 9)) "$work/received.wav" >"$work/received.f32"
pipe_given=$(cpu "$work/pipe-given.txt" bash -c 'cat "$0" | "$@"' "$work/received.f32" "$decoder" decode --quiet --raw --rate "$rate" --format f32le --baud 50 --shift 425 -)
row "pluvane-rtty decode --raw - (piped from cat), line given" "$pipe_given" "$work/pipe-given.txt"
pipe_auto=$(cpu "$work/pipe-auto.txt" bash -c 'cat "$0" | "$@"' "$work/received.f32" "$decoder" decode --quiet --raw --rate "$rate" --format f32le --auto -)
row "pluvane-rtty decode --raw - --auto (piped from cat)" "$pipe_auto" "$work/pipe-auto.txt"
card_tool=$build/bin/rtty-card-speed
if [ -x "$card_tool" ] && [ -x "$build/bin/pluvane-cardserver" ]; then
    card_scale=${RTTY_SPEED_CARD_SCALE:-60}
    read -r card_cpu card_audio card_chars < <("$card_tool" "$work/received.wav" "${RTTY_SPEED_CARD_SECONDS:-60}" "$card_scale")
    card=$(echo "$card_cpu * $seconds / $card_audio" | bc -l)
    printf '| pluvane-cardserver, wav: input (%.0f s of audio at %sx real time, scaled) | %.2f | %.0f | %.2f | %s characters sent |\n' \
        "$card_audio" "$card_scale" "$card" "$(echo "$seconds / $card" | bc -l)" "$(echo "$card / $mm" | bc -l)" "$card_chars"
else
    echo "(no card server row: build rtty-card-speed and pluvane-cardserver)"
fi
