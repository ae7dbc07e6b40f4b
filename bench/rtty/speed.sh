#!/bin/bash
# CPU for an hour of audio: pluvane-rtty decode (the whole command line,
# with the line given, and with --auto) against minimodem on the same file.
# Bulletin text sent by minimodem's modulator (50 Bd, 425 Hz, 8000 Hz),
# white noise at +10 dB in 3 kHz. The decoder reads the file, and the same
# samples as raw PCM through a pipe (`cat FILE | pluvane-rtty decode --raw
# ... -`, as from sox or arecord). Prints a Markdown table of user+system
# CPU seconds of the decoding process (the decoders' own, not the wall
# clock; in the pipe rows the decoder's alone, as the writer would be sox
# or arecord, whatever decodes) and the CER of each.
# Each decoder runs RTTY_SPEED_RUNS times (default 5), the decoders taking
# turns, so that a burst of load elsewhere falls on all of them alike; the
# table gives the median CPU of each, its ratio to minimodem's median, and
# the lowest and highest of the runs' own ratios. With
# RTTY_SPEED_INSTRUCTIONS=1 the instructions of minimodem and of the line
# given row are counted as well (valgrind's callgrind, the whole process):
# a figure no other load on the machine moves.
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
# The float samples after the WAV header's data chunk, as raw f32le.
data=$(grep -obUa data "$work/received.wav" | head -1 | cut -d: -f1)
tail -c +$((data + 9)) "$work/received.wav" >"$work/received.f32"
piped() {  # piped OUT COMMAND...: the command's CPU reading the raw samples from cat through a pipe
    local out=$1
    shift
    cat "$work/received.f32" | cpu "$out" "$@"
}
runs=${RTTY_SPEED_RUNS:-5}
names=(mm given auto pipe_given pipe_auto)
declare -A times
for ((run = 0; run < runs; ++run)); do
    times[mm]+=" $(cpu "$work/mm.txt" minimodem --rx -q --baudot --stopbits 1.5 -M "$mark" -S "$space" -f "$work/received.wav" 50)"
    times[given]+=" $(cpu "$work/given.txt" "$decoder" decode --quiet --baud 50 --shift 425 "$work/received.wav")"
    times[auto]+=" $(cpu "$work/auto.txt" "$decoder" decode --quiet --auto "$work/received.wav")"
    times[pipe_given]+=" $(piped "$work/pipe-given.txt" "$decoder" decode --quiet --raw --rate "$rate" --format f32le --baud 50 --shift 425 -)"
    times[pipe_auto]+=" $(piped "$work/pipe-auto.txt" "$decoder" decode --quiet --raw --rate "$rate" --format f32le --auto -)"
done
median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
spread() {  # spread TIMES: the lowest and highest of the runs' ratios to minimodem's run beside them
    paste <(tr ' ' '\n' <<<"$1" | grep .) <(tr ' ' '\n' <<<"${times[mm]}" | grep .) |
        awk '{ r = $1 / $2; if (NR == 1 || r < lo) lo = r; if (NR == 1 || r > hi) hi = r } END { printf "%.2f-%.2f", lo, hi }'
}
mm=$(median "${times[mm]}")
row() {
    local name=$1 key=$2 out=$3 seconds_cpu
    seconds_cpu=$(median "${times[$key]}")
    printf '| %s | %.2f | %.0f | %.2f | %s | %s |\n' "$name" "$seconds_cpu" "$(echo "$seconds / $seconds_cpu" | bc -l)" \
        "$(echo "$seconds_cpu / $mm" | bc -l)" "$(spread "${times[$key]}")" "$(percent "$("$tool" cer "$work/reference.txt" "$out")")"
}

echo "# CPU for an hour of audio"
echo
bench_header
echo "- Audio: ${seconds} s, minimodem --tx --baudot 50 Bd / 425 Hz, white noise +10 dB"
echo "- CPU: user + system of the decoding process, median of $runs runs taken in turns"
echo
echo "| decoder | CPU (s) | x real time | CPU against minimodem | runs' ratios | CER |"
echo "|---|---:|---:|---:|---:|---:|"
row "minimodem 0.24" mm "$work/mm.txt"
row "pluvane-rtty decode, line given" given "$work/given.txt"
row "pluvane-rtty decode --auto" auto "$work/auto.txt"
row "pluvane-rtty decode --raw - (piped from cat), line given" pipe_given "$work/pipe-given.txt"
row "pluvane-rtty decode --raw - --auto (piped from cat)" pipe_auto "$work/pipe-auto.txt"
card_tool=$build/bin/rtty-card-speed
if [ -x "$card_tool" ] && [ -x "$build/bin/pluvane-cardserver" ]; then
    card_scale=${RTTY_SPEED_CARD_SCALE:-60}
    card_times="" card_ratios=""
    for ((run = 0; run < ${RTTY_SPEED_CARD_RUNS:-1}; ++run)); do
        read -r card_cpu card_audio card_chars _ < <("$card_tool" "$work/received.wav" "${RTTY_SPEED_CARD_SECONDS:-60}" "$card_scale")
        card_times+=" $(echo "$card_cpu * $seconds / $card_audio" | bc -l)"
    done
    card=$(median "$card_times")
    card_spread=$(tr ' ' '\n' <<<"$card_times" | grep . | awk -v mm="$mm" '{ r = $1 / mm; if (NR == 1 || r < lo) lo = r; if (NR == 1 || r > hi) hi = r } END { printf "%.2f-%.2f", lo, hi }')
    printf '| pluvane-cardserver, wav: input (%.0f s of audio at %sx real time, scaled) | %.2f | %.0f | %.2f | %s | %s characters sent |\n' \
        "$card_audio" "$card_scale" "$card" "$(echo "$seconds / $card" | bc -l)" "$(echo "$card / $mm" | bc -l)" "$card_spread" "$card_chars"
else
    echo "(no card server row: build rtty-card-speed and pluvane-cardserver)"
fi
if [ "${RTTY_SPEED_INSTRUCTIONS:-0}" = 1 ] && command -v valgrind >/dev/null; then
    instructions() {  # instructions COMMAND...: what the process retires, in billions
        valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
            awk '/refs:/ { gsub(",", "", $NF); printf "%.2f", $NF / 1e9 }'
    }
    mm_ir=$(instructions minimodem --rx -q --baudot --stopbits 1.5 -M "$mark" -S "$space" -f "$work/received.wav" 50)
    given_ir=$(instructions "$decoder" decode --quiet --baud 50 --shift 425 "$work/received.wav")
    echo
    printf -- '- Instructions (callgrind, the whole process): minimodem %s G, pluvane-rtty decode with the line given %s G, %.2fx\n' \
        "$mm_ir" "$given_ir" "$(echo "$given_ir / $mm_ir" | bc -l)"
fi
