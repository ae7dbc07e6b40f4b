#!/bin/sh
# pluvane-synop's outputs against another build's, byte for byte: standard
# output, standard error and exit status, for every format, with and
# without --keep-duplicates, --no-plausibility and --no-shift-correction, on
# the benchmark's text (as synop_cli_bench makes it), every real traffic
# file alone and all of them joined, and through a pipe. A change that is
# only meant to be faster must leave all of it as it was.
#
#   compare_outputs.sh NEW_PLUVANE_SYNOP EARLIER_PLUVANE_SYNOP [REPEATS]
#
# Prints each difference and a count; exits 1 when anything differs.
set -eu
new=${1:?usage: compare_outputs.sh NEW EARLIER [REPEATS]}
old=${2:?usage: compare_outputs.sh NEW EARLIER [REPEATS]}
repeats=${3:-200}
here=$(cd "$(dirname "$0")" && pwd)
root="$here/../.."
shared=${PLUVANE_SHARED_DATA:-/work/shared/data}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The benchmark's text: the corpus repeated with its day and hour changed.
python3 - "$root/synopdecoder/tests/data" "$repeats" "$work/bench.txt" <<'EOF'
import sys
corpus_dir, repeats, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
corpus = open(corpus_dir + "/garbled.txt", "rb").read() + open(corpus_dir + "/clean.txt", "rb").read()
parts = []
for n in range(repeats):
    text = bytearray(corpus)
    day = b"%02d" % (1 + n % 28)
    at = text.find(b"AAXX ")
    while at != -1:
        text[at + 5:at + 7] = day
        text[at + 8] = ord("0") + (n // 28) % 10
        at = text.find(b"AAXX ", at + 1)
    parts.append(bytes(text))
open(out, "wb").write(b"".join(parts))
EOF

find "$root/synopdecoder/tests/data" "$shared/synop-real" -name '*.txt' 2>/dev/null | sort >"$work/files"
xargs cat <"$work/files" >"$work/joined.txt"

compared=0
differed=0
# run LABEL INPUT_MODE INPUT ARGS...: both builds, the same arguments.
run() {
    label=$1 mode=$2 input=$3
    shift 3
    for tool in new old; do
        if [ "$tool" = new ]; then exe=$new; else exe=$old; fi
        status=0
        if [ "$mode" = pipe ]; then
            cat "$input" | "$exe" "$@" >"$work/$tool.out" 2>"$work/$tool.err" || status=$?
        else
            "$exe" "$@" "$input" >"$work/$tool.out" 2>"$work/$tool.err" || status=$?
        fi
        echo "$status" >"$work/$tool.status"
    done
    compared=$((compared + 1))
    for part in out err status; do
        if ! cmp -s "$work/new.$part" "$work/old.$part"; then
            differed=$((differed + 1))
            echo "DIFFERS ($part): $label: $*"
            cmp "$work/new.$part" "$work/old.$part" | head -1 || true
            return
        fi
    done
}

received="--received 2026-03-28T23:00Z"
for format in json csv geojson kml; do
    for options in "" "--keep-duplicates" "--no-plausibility" "--keep-duplicates --no-plausibility" "--no-shift-correction"; do
        # shellcheck disable=SC2086
        run bench file "$work/bench.txt" --format "$format" $received $options
        # shellcheck disable=SC2086
        run joined file "$work/joined.txt" --format "$format" $received $options
        # shellcheck disable=SC2086
        run "joined, pipe" pipe "$work/joined.txt" --format "$format" $received $options
    done
    run "bench, pipe" pipe "$work/bench.txt" --format "$format" $received --keep-duplicates
    # Each file alone too: its first and last report at the text's edges.
    while read -r file; do
        # shellcheck disable=SC2086
        run "$file" file "$file" --format "$format" $received
    done <"$work/files"
done

echo "$compared runs compared, $differed differ"
[ "$differed" -eq 0 ]
