#!/usr/bin/env bash
# One results row per target from the parts run-long.sh recorded: the parts
# from FIRST_PART on (one round's), their wall seconds, runs and CPU seconds
# summed, runs per CPU second, and the running total, cov and ft of the last
# part; peak RSS is the largest of them.
#   fuzz/parts-summary.sh FIRST_PART fuzz-NAME...
# e.g. fuzz/parts-summary.sh 16 fuzz-cardctl (a row of RESULTS.md's tables)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
first=$1
shift
for target in "$@"; do
  awk -v first="$first" -v name="$target" '
    { lastTotal = $4; lastCov = $5; lastFt = $6 }
    $1 >= first {
      parts++; seconds += $2; runs += $3; total = $4; cov = $5; ft = $6
      rss = $7; sub(/MB$/, "", rss); if (rss + 0 > peak) peak = rss + 0
      if (NF >= 8) cpu += $8
    }
    function group(n,   s, out) {
      s = sprintf("%d", n + 0.5); out = ""
      while (length(s) > 3) { out = "," substr(s, length(s) - 2) out; s = substr(s, 1, length(s) - 3) }
      return s out
    }
    END {
      if (!parts) {
        printf "| `%s` | 0 | - | - | - | - | %s | %s | %s | - |\n", name, group(lastTotal), group(lastCov), group(lastFt)
        exit
      }
      printf "| `%s` | %d | %s | %s | %s | %s | %s | %s | %s | %d MB |\n", name, parts, group(seconds), group(runs),
             group(cpu), (cpu > 0 ? group(runs / cpu) : "-"), group(total), group(cov), group(ft), peak
    }' "$here/findings/$target.parts"
done
