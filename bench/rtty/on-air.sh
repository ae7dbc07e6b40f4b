#!/bin/bash
# What a listener's own station does to an RTTY signal, beyond the rows of
# conditions.sh: fast and deep fades of both tones, the receiver's AGC on
# them, a hard limiter, a DC offset, 16-bit audio at a very low level, strong
# mains hum, a filter as narrow as the shift, mark and space at unequal
# levels, phase jumps at every keying (two free-running oscillators), a
# weaker station on the same line, the sound card's clock and the sender's
# speed off together, 1 and 2 stop bits, steady mark or RY idle for a minute
# or two before the traffic, and a file that starts inside a character.
# pluvane-rtty, an older pluvane-rtty and minimodem decode the same files;
# CER per SNR (3 kHz, against the clean signal).
#
#   bench/rtty/on-air.sh OLDER_DECODER [BUILD_DIR]      (default: build)
# Environment: RTTY_AIR_CHARS (default 300), RTTY_AIR_LINES (default
# "50/450 50/425 75/850"), RTTY_AIR_SEEDS (default "1"), RTTY_AIR_ROWS (a
# regular expression on the row names; default all). About 25 minutes on
# two busy shared cores at the defaults; split the rows or the lines over
# processes to use both cores.
set -euo pipefail

older=$1
build=${2:-build}
here=$(dirname "$0")
. "$here/common.sh"
bench_setup "$build"
[ -x "$older" ] || { echo "missing $older" >&2; exit 2; }
edit="perl $here/audio-edit.pl"

chars=${RTTY_AIR_CHARS:-300}
lines=${RTTY_AIR_LINES:-"50/450 50/425 75/850"}
seeds=${RTTY_AIR_SEEDS:-1}
only=${RTTY_AIR_ROWS:-.}
centre=1500

# name | channel of rtty-bench-tool ({…}: arithmetic on HALF and SHIFT) | SNRs | options
#   options: rate=HZ txbaud=xFACTOR stop=BITS idle=CHARACTERS (RYRY… before the
#            text, and in the reference) lines=B/S,...
#            before=STEP,STEP  audio-edit.pl steps on the clean signal ({MARK},
#            {SPACE} are the tones); after=STEP,STEP  on the received file
rows=$(cat <<'ROWS'
flat fading 2 Hz|fading:0:2|24 10|
flat fading 5 Hz|fading:0:5|24 10|
flat fading 2 Hz, AGC|fading:0:2+agc|24 10|lines=50/450
slow deep fades, 30 dB for 1.5 s, irregular, about every 6 s|irregular:30:1.5:6|24|
fades 30 dB for 1 s every 4 s|dips:30:1:4|24|lines=50/450,75/850
fades 40 dB for 1 s every 4 s, a strong signal|dips:40:1:4|60|lines=50/450,75/850
fades 30 dB for 1 s every 4 s, a strong signal|dips:30:1:4|60|lines=75/850
clock -3000 ppm|clock:-3000|0|lines=50/450,75/850
clock +3000 ppm, sender -0.7 %|clock:3000|24 0|txbaud=x0.993 lines=50/450,75/850
clock -3000 ppm, sender -0.7 %|clock:-3000|24 0|txbaud=x0.993 lines=50/450,75/850
1 stop bit|white|0|stop=1 lines=50/450,75/850
2 stop bits|white|24 0|stop=2 lines=75/850
limiter, clipped 30 dB|clip:-30|24 0|lines=50/450,75/850
flat fading 2 Hz, clipped 20 dB|fading:0:2+clip:-20|24 10|lines=50/450
DC offset 10 % of full scale|white|24 0|after=dc:0.1 lines=50/450
-50 dBFS in 16 bits|white|0|after=gain:-47,pcm16 lines=50/450,75/850
-70 dBFS in 16 bits|white|24 10|after=gain:-67,pcm16 lines=50/450
mains hum 50 Hz +20 dB|hum:20:50|24 0|lines=50/450,75/850
mains hum 60 Hz +10 dB, harmonics falling slowly|hum:10:60:0.5|0|lines=50/450
filter as wide as the shift|if:{SHIFT}|24 0|
space 8 dB below mark|white|10 0|before=rekey:{MARK}:{SPACE}:-8:0 lines=50/450,75/850
mark 8 dB below space|white|10 0|before=rekey:{MARK}:{SPACE}:8:0 lines=50/450,75/850
phase jump at every keying|white|0|before=rekey:{MARK}:{SPACE}:0:1 lines=50/450,75/850
same line, a station 10 dB weaker|adjacent:0:-10|24 10|lines=50/450,75/850
same line, a station 6 dB weaker|adjacent:0:-6|24 10|lines=50/450
a station 10 dB weaker 30 Hz off|adjacent:30:-10|24 10|lines=50/450
48000 Hz file|white|0|rate=48000 lines=75/850
11025 Hz file, flat fading 2 Hz|fading:0:2|24|rate=11025 lines=50/450
steady mark for 120 s before the traffic|white|0|before=lead:120:{MARK} lines=50/450,75/850
RY for 60 s before the traffic|white|0|idle=400 lines=50/450,75/850
starts 0.23 s in, inside a character|white|0|before=trim:0.23 lines=50/450,75/850
ROWS
)

option() { local key=$1 opts=$2; for o in $opts; do [ "${o%%=*}" = "$key" ] && { echo "${o#*=}"; return; }; done; echo ""; }

echo "# RTTY as a listener's own station receives it: pluvane-rtty, an older pluvane-rtty, minimodem"
echo
bench_header
echo "- Older decoder: $older"
echo "- Signal: minimodem --tx --baudot, centre ${centre} Hz, ${chars} characters per file, seeds: ${seeds}; SNR in 3 kHz against the clean signal; CER as the mean over the seeds, the worst seed in brackets"
echo
echo "| condition | Bd/shift | SNR (dB) | pluvane-rtty | older | minimodem |"
echo "|---|---|---:|---:|---:|---:|"

while IFS='|' read -r name channelTemplate snrs opts; do
    [ -n "$name" ] || continue
    echo "$name" | grep -Eq -- "$only" || continue
    rate=$(option rate "$opts"); rate=${rate:-8000}
    txbaudOpt=$(option txbaud "$opts")
    stop=$(option stop "$opts"); stop=${stop:-1.5}
    idle=$(option idle "$opts"); idle=${idle:-0}
    only_lines=$(option lines "$opts")
    for line in $lines; do
        [ -z "$only_lines" ] || [[ ",$only_lines," == *",$line,"* ]] || continue
        baud=${line%/*}
        shift_hz=${line#*/}
        mark=$(echo "$centre + $shift_hz / 2" | bc -l | sed 's/\.0*$//')
        space=$(echo "$centre - $shift_hz / 2" | bc -l | sed 's/\.0*$//')
        fill() { HALF=$((shift_hz / 2)) SHIFT=$shift_hz MARK=$mark SPACE=$space perl -pe 's/\{([^}]*)\}/my $e = $1; $e =~ s{(HALF|SHIFT|MARK|SPACE)}{$ENV{$1}}g; eval $e/ge' <<<"$1"; }
        channel=$(fill "$channelTemplate")
        before=$(fill "$(option before "$opts")" | tr ',' ' ')
        after=$(fill "$(option after "$opts")" | tr ',' ' ')
        txbaud=$baud
        [ -n "$txbaudOpt" ] && txbaud=$(echo "$baud * ${txbaudOpt#x}" | bc -l | sed 's/0*$//; s/\.$//')
        for snr in $snrs; do
            declare -A sum=() worst=()
            n=0
            for seed in $seeds; do
                n=$((n + 1))
                echo "${name} ${line} at ${snr} dB, seed ${seed}" >&2
                "$tool" text "$chars" "$seed" >"$work/text.txt"
                { if [ "$idle" -gt 0 ]; then printf 'RY%.0s' $(seq $((idle / 2))); echo; fi; cat "$work/text.txt"; } >"$work/reference.txt"
                tr '=+' ';"' <"$work/reference.txt" >"$work/send.txt"
                minimodem --tx --baudot --stopbits "$stop" -M "$mark" -S "$space" -R "$rate" -f "$work/clean.wav" "$txbaud" <"$work/send.txt" 2>/dev/null
                # shellcheck disable=SC2086
                [ -n "$before" ] && $edit "$work/clean.wav" "$work/clean.wav" $before
                "$tool" channel "$channel" "$work/clean.wav" "$work/received.wav" "$snr" "$((seed * 1000 + ${snr#-} + 500))" "$centre" "$shift_hz"
                # shellcheck disable=SC2086
                [ -n "$after" ] && $edit "$work/received.wav" "$work/received.wav" $after
                "$decoder" decode --quiet --baud "$baud" --shift "$shift_hz" --centre "$centre" "$work/received.wav" >"$work/ours.txt" || true
                "$older" decode --quiet --baud "$baud" --shift "$shift_hz" --centre "$centre" "$work/received.wav" >"$work/older.txt" || true
                minimodem --rx -q --baudot --stopbits 1.5 -M "$mark" -S "$space" -f "$work/received.wav" "$baud" >"$work/minimodem.txt" 2>/dev/null || true
                for who in ours older minimodem; do
                    c=$("$tool" cer "$work/reference.txt" "$work/$who.txt")
                    sum[$who]=$(echo "${sum[$who]:-0} + $c" | bc -l)
                    worst[$who]=$(echo "w = ${worst[$who]:-0}; if ($c > w) $c else w" | bc -l)
                done
            done
            cell() { echo "$(percent "$(echo "${sum[$1]} / $n" | bc -l)") ($(percent "${worst[$1]}"))"; }
            echo "| $name | $baud/$shift_hz | $snr | $(cell ours) | $(cell older) | $(cell minimodem) |"
            unset sum worst
        done
    done
done <<<"$rows"
