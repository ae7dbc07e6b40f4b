# Shared by the RTTY benchmark scripts (sourced, not run): checks the
# programs, makes a work folder that goes with the script, and prints the
# header lines that say when and where a run was made.
#   bench_setup BUILD_DIR [PROGRAM...]   sets tool, decoder and work; the
#                            programs (decoders to compare) must be there too
#   bench_header             "- Date", "- Machine" and "- minimodem" lines
#   send_bulletin BAUD SHIFT SEED   sets mark and space; bulletin text in $work/reference.txt, sent by
#                            minimodem round $centre at $rate into $work/clean.wav

bench_setup() {
    local build=$1
    shift
    tool=$build/bin/rtty-bench-tool
    decoder=$build/bin/pluvane-rtty
    for program in "$tool" "$decoder"; do
        [ -x "$program" ] || { echo "missing $program: build rtty-bench-tool and pluvane-rtty first" >&2; exit 2; }
    done
    for program in "$@"; do
        [ -x "$program" ] || { echo "missing $program" >&2; exit 2; }
    done
    command -v minimodem >/dev/null || { echo "minimodem is not installed" >&2; exit 2; }
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
}

bench_header() {
    echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "- Machine: $(uname -srm), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //') ($(nproc) cores)"
    echo "- minimodem: $(minimodem --version 2>&1 | head -1)"
}

percent() { printf '%.2f %%' "$(echo "$1 * 100" | bc -l)"; }

send_bulletin() {
    local baud=$1 shift_hz=$2 seed=$3
    mark=$(echo "$centre + $shift_hz / 2" | bc -l)
    space=$(echo "$centre - $shift_hz / 2" | bc -l)
    "$tool" text "$chars" "$seed" >"$work/reference.txt"
    # minimodem cannot send '=' or '+'; ';' and '"' are the same ITA2 codes.
    tr '=+' ';"' <"$work/reference.txt" >"$work/send.txt"
    minimodem --tx --baudot --stopbits 1.5 -M "$mark" -S "$space" -R "$rate" -f "$work/clean.wav" "$baud" <"$work/send.txt" 2>/dev/null
}
