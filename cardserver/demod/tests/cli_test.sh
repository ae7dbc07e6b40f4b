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
echo "not audio" >"$work/bad.wav"
expect 1 "bad.wav" "$tool" decode "$work/bad.wav"
exit $failures
