#!/bin/sh
# Exit codes and messages of pluvane-rtty: usage errors 2, unreadable input 1.
set -u
tool="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect() {  # expect CODE PATTERN COMMAND...
    code=$1 pattern=$2
    shift 2
    "$@" >"$work/out" 2>"$work/err"
    actual=$?
    if [ "$actual" -ne "$code" ] || { [ -n "$pattern" ] && ! grep -q -- "$pattern" "$work/out" "$work/err"; }; then
        echo "FAIL: $* -> $actual (wanted $code, '$pattern')"; cat "$work/err"; failures=$((failures + 1))
    fi
}
printf 'ZCZC 001\r\nAAXX 08061 10381 41580=\r\n' >"$work/text.txt"
expect 0 "Usage" "$tool" --help
expect 0 "pluvane-rtty [0-9]" "$tool" --version
expect 2 "unknown command" "$tool" frobnicate
expect 2 "needs --baud" "$tool" encode "$work/text.txt" "$work/a.wav"
expect 2 "needs a number" "$tool" decode --baud fast "$work/a.wav"
expect 2 "centre frequency" "$tool" encode --baud 50 --shift 425 --centre 5000 "$work/text.txt" "$work/a.wav"
expect 1 "cannot read" "$tool" decode "$work/missing.wav"
expect 1 "cannot read" "$tool" encode --baud 50 --shift 425 --centre 1500 "$work/missing.txt" "$work/a.wav"
expect 0 "" "$tool" encode --baud 75 --shift 850 --centre 1700 --snr 0 --rate 11025 "$work/text.txt" "$work/a.wav"
expect 0 "AAXX 08061 10381 41580=" "$tool" decode --baud 75 --shift 850 --centre 1700 "$work/a.wav"
# --auto finds a line that starts late, decodes it, and says where it found it;
# on noise alone it says what it heard and fails.
for i in 1 2 3 4 5 6; do printf 'ZCZC 00%s\r\nAAXX 08061 10381 41580 12345 67890=\r\n' $i; done >"$work/long.txt"
: >"$work/empty.txt"
expect 0 "" "$tool" encode --baud 50 --shift 170 --centre 1200 --inverted --snr 3 --lead-in 20 "$work/long.txt" "$work/late.wav"
expect 0 "AAXX 08061 10381 41580 12345 67890=" "$tool" decode --auto "$work/late.wav"
expect 0 "centre 1[12][09][0-9].*shift 1[67][0-9].*50 Bd, inverted polarity (2[0-9].[0-9] s; decoding from 0.0 s)" "$tool" decode --auto "$work/late.wav"
expect 0 "" "$tool" encode --baud 50 --shift 425 --centre 1500 --snr 0 --lead-in 30 "$work/empty.txt" "$work/noise.wav"
expect 1 "no line found in 30.0 s of audio.*no signal above the noise" "$tool" decode --auto "$work/noise.wav"
expect 2 "lead-in" "$tool" encode --baud 50 --shift 425 --centre 1500 --lead-in -1 "$work/text.txt" "$work/a.wav"
# A line set wrong (the defaults on a 50 Bd / 450 Hz inverted signal at
# 1977 Hz, or on 75 Bd / 850 Hz) prints nothing, says what it heard and
# how to decode it, and exits 3; a weak signal on the right line prints.
for i in 1 2 3 4 5 6 7 8; do cat "$work/long.txt"; done >"$work/longer.txt"
expect 0 "" "$tool" encode --baud 50 --shift 450 --centre 1977 --inverted --snr 6 "$work/longer.txt" "$work/wrong.wav"
expect 3 "heard centre 197[0-9].*shift 4[45][0-9].*50 Bd, inverted polarity; decode it with --auto" "$tool" decode "$work/wrong.wav"
[ "$(wc -c <"$work/out")" -le 10 ] || { echo "FAIL: a wrong line printed: $(head -c 80 "$work/out")"; failures=$((failures + 1)); }
expect 0 "" "$tool" encode --baud 75 --shift 850 --centre 1500 --snr 6 "$work/longer.txt" "$work/wrong75.wav"
expect 3 "heard centre.*shift 8[45][0-9].*75 Bd" "$tool" decode "$work/wrong75.wav"
expect 0 "" "$tool" encode --baud 50 --shift 425 --centre 1500 --snr -5 "$work/longer.txt" "$work/weak.wav"
expect 0 "AAXX 08061 10381 41580 12345 67890=" "$tool" decode "$work/weak.wav"
# Raw PCM on a pipe, as an SDR program writes it: the WAV's data without its
# 44-byte header (encode writes a plain 16-bit PCM WAV).
expect 0 "" "$tool" encode --baud 50 --shift 425 --centre 1000 --snr 10 --rate 12000 "$work/text.txt" "$work/sdr.wav"
tail -c +45 "$work/sdr.wav" >"$work/sdr.raw"
pipe_decode() { cat "$work/sdr.raw" | "$tool" decode --raw --rate 12000 --centre 1000 -; }
expect 0 "AAXX 08061 10381 41580=" pipe_decode
expect 0 "AAXX 08061 10381 41580=" "$tool" decode --centre 1000 "raw:$work/sdr.raw@12000,s16le"
expect 2 "needs --rate" "$tool" decode --raw "$work/sdr.raw"
expect 2 "give --raw" "$tool" decode -
expect 2 "give --raw too" "$tool" decode --rate 12000 "$work/sdr.wav"
expect 2 "s16le or f32le" "$tool" decode --raw --rate 12000 --format u8 -
expect 1 "sample rate" "$tool" decode "raw:$work/sdr.raw@1000"
# Several sources: receivers of one broadcast decoded as one. Two copies
# with their own noise, one 0.3 s late, and a third of noise only.
for i in 1 2 3 4 5 6 7 8 9; do printf 'ZCZC 00%s\r\nAAXX 08061 10381 41580 12345 67890=\r\n' $i; done >"$work/many.txt"
expect 0 "" "$tool" encode --baud 50 --shift 450 --centre 1500 --snr -4 --seed 1 --rate 12000 "$work/many.txt" "$work/r1.wav"
expect 0 "" "$tool" encode --baud 50 --shift 450 --centre 1500 --snr -4 --seed 2 --rate 12000 --lead-in 0.3 "$work/many.txt" "$work/r2.wav"
expect 0 "" "$tool" encode --baud 50 --shift 450 --centre 1500 --snr 0 --seed 3 --rate 12000 --lead-in 40 "$work/empty.txt" "$work/r3.wav"
expect 0 "ZCZC 009" "$tool" decode --shift 450 "$work/r1.wav" "$work/r2.wav" "$work/r3.wav"
expect 0 "branch 2 (wav:.*r2.wav) delay 0.30[0-9] s" "$tool" decode --shift 450 "$work/r1.wav" "$work/r2.wav" "$work/r3.wav"
expect 0 "branch 3 (wav:.*r3.wav) not aligned" "$tool" decode --shift 450 "$work/r1.wav" "$work/r2.wav" "$work/r3.wav"
expect 0 "branch 2 .*: centre 1500.*50 Bd, normal" "$tool" decode --auto "$work/r1.wav" "$work/r2.wav"
expect 3 "does not fit the line set.*heard.*450.*on branch" "$tool" decode --shift 850 "$work/r1.wav" "$work/r2.wav" "$work/r3.wav"
# Live: two pipes as an SDR program feeds them.
tail -c +45 "$work/r1.wav" >"$work/r1.raw"
tail -c +45 "$work/r2.wav" >"$work/r2.raw"
mkfifo "$work/fifo1" "$work/fifo2"
pipes_decode() {
    cat "$work/r1.raw" >"$work/fifo1" &
    cat "$work/r2.raw" >"$work/fifo2" &
    "$tool" decode --shift 450 "raw:$work/fifo1@12000" "raw:$work/fifo2@12000"
    status=$?
    wait
    return $status
}
expect 0 "AAXX 08061 10381 41580 12345 67890=" pipes_decode
expect 2 "at most four" "$tool" decode "$work/r1.wav" "$work/r1.wav" "$work/r1.wav" "$work/r1.wav" "$work/r1.wav"
expect 2 "cannot be one of several" "$tool" decode "$work/r1.wav" -
expect 2 "describe one source" "$tool" decode --raw --rate 12000 "$work/r1.raw" "$work/r2.raw"
expect 1 "missing.wav" "$tool" decode "$work/r1.wav" "$work/missing.wav"
# --help states the demodulator's own limits.
expect 0 "speed, 20 to 300 baud" "$tool" --help
expect 0 "its sample rate, 8000 to 192000 Hz" "$tool" --help
echo "not audio" >"$work/bad.wav"
expect 1 "bad.wav" "$tool" decode "$work/bad.wav"
printf '.snd\0\0\0\030\377\377\377\377\0\0\0\003\0\0\037\100\0\0\0\001' >"$work/sun.au"
expect 1 "Sun/NeXT AU file; WAV" "$tool" decode "$work/sun.au"
exit $failures
