# Shared by the RTTY benchmark scripts (sourced, not run): checks the
# programs, makes a work folder that goes with the script, and prints the
# header lines that say when and where a run was made.
#   bench_setup BUILD_DIR    sets tool, decoder and work
#   bench_header             "- Date", "- Machine" and "- minimodem" lines

bench_setup() {
    local build=$1
    tool=$build/bin/rtty-bench-tool
    decoder=$build/bin/pluvane-rtty
    for program in "$tool" "$decoder"; do
        [ -x "$program" ] || { echo "missing $program: build rtty-bench-tool and pluvane-rtty first" >&2; exit 2; }
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
