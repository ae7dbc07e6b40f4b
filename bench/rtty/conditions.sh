#!/bin/bash
# RTTY under the conditions of a real day on the air that the HF channel
# sweep (hf.sh) leaves out: pluvane-rtty, minimodem and the ideal-timing
# detector on the same files, CER per SNR (3 kHz, against the clean signal).
#
# Each row is a channel of the simulator (rtty/channel; the numbered
# conditions of hfchannel::channelPreset, joined with '+') and how the
# transmitter and the sound card made the file:
#   neighbours   a second RTTY station 300, 500 and 1000 Hz away (0, +6,
#                +10 dB); a steady carrier between the tones, on one, or
#                60-100 Hz outside one (steady, drifting, sweeping through
#                the passband); a station at 75/850 beside 50/450; a keyed CW
#                station; carriers and CW 10-30 dB over the signal 100-250 Hz
#                outside the tones or between them; mains hum and its harmonics (50 and 60 Hz)
#   timing       the sound card's clock 100-5000 ppm off, the transmitter's
#                speed off nominal (49.5/50.5 Bd, 74.2/75.8 Bd), 1 and 2 stop bits
#   tuning       drift of 30 and 60 Hz a minute; tuned 60 and 90 Hz off
#   receiver     a narrow IF filter (500 Hz for 450 Hz shift, centred and
#                60 Hz off), AGC pumped by clicks, by fading and by a CW
#                station 20 dB over the signal 250 Hz above the mark,
#                hard clipping of an overdriven input
#   files        11025, 44100 and 48000 Hz sample rates
#   text         plain-language forecasts; test loops and long runs of one
#                character (RYRY, dashes, blanks, slashes)
#   fades        both tones down together: 5 and 30 dB, 100 ms every 1 s,
#                1 s every 5 s, at irregular times; the signal gone for 2 and
#                5 s (there the squelch must print nothing and pick up after:
#                "in gaps" counts the characters pluvane-rtty printed that
#                started inside a gap)
# "demodulator alone" is pluvane-rtty's demodulator without the command
# line's check that the line fits (which holds all text back when it
# judges the signal to be on another line): it tells the two apart.
# The ideal-timing detector is told each character's start and the true
# tones, so it is left out ("-") where the timing or the tones of the file
# are not those of the clean signal (clock error).
#
#   bench/rtty/conditions.sh [BUILD_DIR]      (default: build)
# Environment: RTTY_COND_CHARS (default 700), RTTY_COND_LINES (default
# "50/450 75/850"), RTTY_COND_SEEDS (default "1"; several give the mean and
# the worst seed), RTTY_COND_ROWS (a regular expression on the row names;
# default all), RTTY_COND_SNRS (one SNR grid for every row).
# About 40 minutes on two busy shared cores at the defaults; run one line
# per process (RTTY_COND_LINES=50/450, =75/850) to use both.
set -euo pipefail

build=${1:-build}
. "$(dirname "$0")/common.sh"
bench_setup "$build"

chars=${RTTY_COND_CHARS:-700}
lines=${RTTY_COND_LINES:-"50/450 75/850"}
seeds=${RTTY_COND_SEEDS:-1}
only=${RTTY_COND_ROWS:-.}
centre=1500

# name | channel ({…}: arithmetic on HALF, half the shift, and SHIFT) | SNRs | options
#   options: rate=HZ txbaud=BD (a factor with x: x0.99) stop=BITS text=KIND
#            lines=B/S,... (the row only on these of RTTY_COND_LINES)
#            ideal=OFFSET:DRIFT (the detector's tuning) | ideal=no   gaps=SECONDS:PERIOD
rows=$(cat <<'ROWS'
adjacent+500 0 dB|adjacent:500:0|6 24|
adjacent-500 +10 dB|adjacent:-500:10|6 24|
adjacent+300 0 dB|adjacent:300:0|6 24|
adjacent-300 +6 dB|adjacent:-300:6|6 24|
adjacent+1000 0 dB|adjacent:1000:0|6 24|lines=50/450
adjacent-500 +6 dB|adjacent:-500:6|6 24|lines=50/450
adjacent-300 +10 dB (a weak right line beside a strong one)|adjacent:-300:10|6 24|
adjacent 75/850 500 Hz below, 0 dB|adjacent:-500:0:75:850|6 24|lines=50/450
carrier between tones 0 dB|carrier:0:0|0 24|
carrier between tones +10 dB|carrier:0:10|0 24|
carrier on mark -6 dB|carrier:{HALF}:-6|0 24|
carrier on mark 0 dB|carrier:{HALF}:0|0 6 24|
carrier 60 Hz below space 0 dB|carrier:{-HALF-60}:0|6 24|
carrier 60 Hz below space, drifting, 0 dB|carrier:{-HALF-60}:0:20|6 24|
carrier sweeping through at 600 Hz/min, 0 dB|carrier:{-HALF-150}:0:600|6 24|
carrier 100 Hz above mark -3 dB|carrier:{HALF+100}:-3|6 24|
cw +300 Hz +10 dB|cw:300:10|6 24|
carrier 250 Hz above mark +10 dB|carrier:{HALF+250}:10|6 24|
carrier 250 Hz above mark +20 dB|carrier:{HALF+250}:20|6 24|
carrier 250 Hz above mark +30 dB|carrier:{HALF+250}:30|6 24|
carrier 150 Hz below space +20 dB|carrier:{-HALF-150}:20|6 24|
carrier 100 Hz above mark +10 dB|carrier:{HALF+100}:10|6 24|
carrier between tones +20 dB|carrier:0:20|6 24|
two carriers, 200 Hz above mark +20 dB, 180 Hz below space +15 dB|carrier:{HALF+200}:20+carrier:{-HALF-180}:15|6 24|
carrier 250 Hz above mark +20 dB, drifting 20 Hz/min|carrier:{HALF+250}:20:20|6 24|
cw 250 Hz above mark +20 dB|cw:{HALF+250}:20|6 24|
cw 150 Hz below space +20 dB|cw:{-HALF-150}:20|6 24|
cw 100 Hz above mark +10 dB|cw:{HALF+100}:10|6 24|
cw between tones +20 dB|cw:0:20|6 24|
hum -10 dB|hum:-10|-3 6|lines=50/450
hum +6 dB, 60 Hz|hum:6:60|-3 6|lines=50/450
clock +100 ppm|clock:100|-6 24|ideal=no lines=50/450
clock +1000 ppm|clock:1000|-6 24|ideal=no
clock -1000 ppm|clock:-1000|-6 24|ideal=no
clock +5000 ppm|clock:5000|-6 24|ideal=no
tx speed -1 %|white|-6 24|txbaud=x0.99
tx speed +1 %|white|-6 24|txbaud=x1.01
tx speed -1.1 % (74.2 at 75)|white|-6 24|txbaud=x0.98933
1 stop bit|white|-6 24|stop=1
2 stop bits|white|-6 24|stop=2 lines=50/450
drift 30 Hz/min|drift:-30:30|-6 24|ideal=-30:30
drift 60 Hz/min|drift:-50:60|-6 24|ideal=-50:60
mistuned 60 Hz|drift:60:0|0 24|ideal=60:0
mistuned 90 Hz|drift:90:0|0 24|ideal=90:0
IF filter shift+50 Hz|if:{SHIFT+50}|-6 24|
IF filter shift+50 Hz, 60 Hz off|if:{SHIFT+50}:60|-6 24|
moderate, IF filter shift+50 Hz|moderate+if:{SHIFT+50}|6 24|lines=50/450
AGC, impulses|impulse+agc|10 24|
AGC, moderate fading|moderate+agc|6 24|lines=50/450
AGC pumped by CW 250 Hz above mark +20 dB|cw:{HALF+250}:20+agc|6 24|
clipped -6 dB|clip:-6|-6 24|lines=50/450
clipped -20 dB|clip:-20|-6 24|lines=50/450
clipped -20 dB, impulses|impulse+clip:-20|10 24|lines=50/450
11025 Hz file|white|-6 24|rate=11025
44100 Hz file|white|-6 24|rate=44100
48000 Hz file, moderate|moderate|6 24|rate=48000 lines=50/450
plain-language text|white|-6 24|text=plain lines=50/450
plain-language text, moderate|moderate|6 24|text=plain lines=50/450
runs and test loops|white|-6 24|text=runs lines=50/450
runs and test loops, moderate|moderate|6 24|text=runs lines=50/450
dips 5 dB / 300 ms / 3 s|dips:5:0.3:3|6 40|lines=50/450
dips 30 dB / 300 ms / 3 s|dips:30:0.3:3|15 40|
dips 20 dB / 100 ms / 1 s|dips:20:0.1:1|15 40|lines=50/450
dips 20 dB / 1 s / 5 s|dips:20:1:5|15 40|lines=50/450
irregular dips 20 dB / 300 ms / 3 s|irregular:20:0.3:3|15 40|
irregular dips 30 dB / 600 ms / 4 s|irregular:30:0.6:4|15 40|lines=50/450
gone 2 s every 10 s|dips:80:2:10|6 40|gaps=2:10 lines=50/450
gone 5 s every 15 s|dips:80:5:15|6 40|gaps=5:15
ROWS
)

option() { local key=$1 opts=$2; for o in $opts; do [ "${o%%=*}" = "$key" ] && { echo "${o#*=}"; return; }; done; echo ""; }

# Characters pluvane-rtty printed that started inside a gap of the signal
# (gaps from 1 s in, SECONDS long every PERIOD), leaving the last character
# time of each gap for one that began before it.
printedInGaps() {
    local file=$1 baud=$2 shift_hz=$3 gap=$4
    "$tool" frames "$file" "$baud" "$shift_hz" "$centre" | awk -v len="${gap%%:*}" -v period="${gap#*:}" -v char="$(echo "7.5 / $baud" | bc -l)" '
        $2 == "s" && / open / { t = $1 - 1.0; if (t < 0) next; into = t - period * int(t / period);
                                if (into >= 0 && into < len - char) n++ }
        END { print n + 0 }'
}

echo "# RTTY under the conditions of a day on the air: pluvane-rtty, minimodem, an ideal-timing detector"
echo
bench_header
echo "- Signal: minimodem --tx --baudot, centre ${centre} Hz, ${chars} characters per file, seeds: ${seeds}; SNR in 3 kHz against the clean signal; CER as the mean over the seeds, the worst seed in brackets when there are several"
echo

summary=""
while IFS='|' read -r name channelTemplate snrs opts; do
    [ -n "$name" ] || continue
    echo "$name" | grep -Eq -- "$only" || continue
    rate=$(option rate "$opts"); rate=${rate:-8000}
    txbaudOpt=$(option txbaud "$opts")
    stop=$(option stop "$opts"); stop=${stop:-1.5}
    kind=$(option text "$opts"); kind=${kind:-bulletin}
    idealOpt=$(option ideal "$opts")
    gaps=$(option gaps "$opts")
    [ -n "${RTTY_COND_SNRS:-}" ] && snrs=$RTTY_COND_SNRS
    only_lines=$(option lines "$opts")
    for line in $lines; do
        [ -z "$only_lines" ] || [[ ",$only_lines," == *",$line,"* ]] || continue
        baud=${line%/*}
        shift_hz=${line#*/}
        # {…} in a channel: arithmetic on HALF (half the shift) and SHIFT.
        channel=$(HALF=$((shift_hz / 2)) SHIFT=$shift_hz perl -pe 's/\{([^}]*)\}/my $e = $1; $e =~ s{HALF}{$ENV{HALF}}g; $e =~ s{SHIFT}{$ENV{SHIFT}}g; eval $e/ge' <<<"$channelTemplate")
        txbaud=$baud
        case $txbaudOpt in x*) txbaud=$(echo "$baud * ${txbaudOpt#x}" | bc -l | sed 's/0*$//; s/\.$//') ;; ?*) txbaud=$txbaudOpt ;; esac
        echo "## ${name}, ${baud} Bd / ${shift_hz} Hz (channel ${channel}$( [ "$opts" ] && echo "; $opts"))"
        echo
        if [ -n "$gaps" ]; then
            echo "| SNR (dB) | pluvane-rtty | demodulator alone | minimodem | ideal timing | in gaps (pluvane-rtty) |"
            echo "|---:|---:|---:|---:|---:|---:|"
        else
            echo "| SNR (dB) | pluvane-rtty | demodulator alone | minimodem | ideal timing |"
            echo "|---:|---:|---:|---:|---:|"
        fi
        lastOurs=""; lastTheirs=""; lastIdeal=""
        for snr in $snrs; do
            sumA=0; sumB=0; sumC=0; sumD=0; worstA=0; worstB=0; worstC=0; worstD=0; inGaps=0; n=0
            for seed in $seeds; do
                n=$((n + 1))
                echo "${name} ${line} at ${snr} dB, seed ${seed}" >&2
                "$tool" text "$chars" "$seed" "$kind" >"$work/reference.txt"
                tr '=+' ';"' <"$work/reference.txt" >"$work/send.txt"
                mark=$(echo "$centre + $shift_hz / 2" | bc -l)
                space=$(echo "$centre - $shift_hz / 2" | bc -l)
                minimodem --tx --baudot --stopbits "$stop" -M "$mark" -S "$space" -R "$rate" -f "$work/clean.wav" "$txbaud" <"$work/send.txt" 2>/dev/null
                "$tool" channel "$channel" "$work/clean.wav" "$work/received.wav" "$snr" "$((seed * 1000 + ${snr#-} + 500))" "$centre" "$shift_hz"
                "$decoder" decode --quiet --baud "$baud" --shift "$shift_hz" --centre "$centre" "$work/received.wav" >"$work/ours.txt" || true
                minimodem --rx -q --baudot --stopbits 1.5 -M "$mark" -S "$space" -f "$work/received.wav" "$baud" >"$work/minimodem.txt" 2>/dev/null || true
                "$tool" demod "$work/received.wav" "$baud" "$shift_hz" "$centre" >"$work/demod.txt"
                a=$("$tool" cer "$work/reference.txt" "$work/ours.txt")
                d=$("$tool" cer "$work/reference.txt" "$work/demod.txt")
                b=$("$tool" cer "$work/reference.txt" "$work/minimodem.txt")
                c=-1
                if [ "$idealOpt" != no ]; then
                    offset=0; drift=0
                    [ -n "$idealOpt" ] && { offset=${idealOpt%%:*}; drift=${idealOpt#*:}; }
                    "$tool" ideal "$work/clean.wav" "$work/received.wav" "$txbaud" "$shift_hz" "$centre" "$offset" "$drift" >"$work/ideal.txt"
                    c=$("$tool" cer "$work/reference.txt" "$work/ideal.txt")
                fi
                [ -n "$gaps" ] && inGaps=$((inGaps + $(printedInGaps "$work/received.wav" "$baud" "$shift_hz" "$gaps")))
                sumD=$(echo "$sumD + $d" | bc -l); worstD=$(echo "if ($d > $worstD) $d else $worstD" | bc -l)
                sumA=$(echo "$sumA + $a" | bc -l); sumB=$(echo "$sumB + $b" | bc -l); sumC=$(echo "$sumC + $c" | bc -l)
                worstA=$(echo "if ($a > $worstA) $a else $worstA" | bc -l)
                worstB=$(echo "if ($b > $worstB) $b else $worstB" | bc -l)
                worstC=$(echo "if ($c > $worstC) $c else $worstC" | bc -l)
            done
            cell() { local mean; mean=$(echo "$1 / $n" | bc -l); if [ "$n" -gt 1 ]; then echo "$(percent "$mean") ($(percent "$2"))"; else percent "$mean"; fi; }
            ours=$(cell "$sumA" "$worstA"); theirs=$(cell "$sumB" "$worstB"); alone=$(cell "$sumD" "$worstD")
            if [ "$idealOpt" = no ]; then ideal="-"; else ideal=$(cell "$sumC" "$worstC"); fi
            row="| $snr | $ours | $alone | $theirs | $ideal |"
            [ -n "$gaps" ] && row+=" $inGaps |"
            echo "$row"
            lastOurs=${ours%% (*}; lastTheirs=${theirs%% (*}; lastIdeal=${ideal%% (*}; lastAlone=${alone%% (*}
            # The summary takes the means only.
            eval "at_${snr//-/m}=\"\${ours%% (*} (\${alone%% (*}) / \${theirs%% (*}\""
        done
        echo
        first=${snrs%% *}
        middle=$(echo "$snrs" | awk '{if (NF > 2) print $2}')
        middleCell=-
        [ -n "$middle" ] && middleCell="$(eval echo "\$at_${middle//-/m}") at ${middle} dB"
        summary+="| ${name} | ${baud}/${shift_hz} | $(eval echo "\$at_${first//-/m}") at ${first} dB | ${middleCell} | ${lastOurs} (${lastAlone}) / ${lastTheirs} / ${lastIdeal} at ${snrs##* } dB |"$'\n'
    done
done <<<"$rows"

echo "## Summary"
echo
echo "CER of pluvane-rtty (in brackets: its demodulator alone, without the check that the line fits) / minimodem at the lowest and (rows of three SNRs) the middle SNR of each row, and pluvane-rtty (demodulator alone) / minimodem / ideal timing at the highest."
echo
echo "| condition | Bd/shift | lowest SNR | middle SNR | highest SNR |"
echo "|---|---|---|---|---|"
printf '%s' "$summary"
