#!/usr/bin/env bash
# Runs one fuzz target on its seed corpus and dictionary, with what it finds
# kept in a scratch corpus so the seeds in the repository stay as they are.
#   run-fuzzer.sh PATH/TO/fuzz-NAME [libFuzzer options...]
# A crash leaves its input as crash-* in the current folder (or the
# -artifact_prefix given) and fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$1
shift
name=$(basename "$binary")
name=${name#fuzz-}
# Targets that write files (the hive, a sound file) run twice as fast in memory.
[ -z "${TMPDIR:-}" ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The card control reads the same protocol as the server.
dict=$name
[ "$name" = cardctl ] && dict=protocol
options=()
[ -f "$here/dict/$dict.dict" ] && options+=(-dict="$here/dict/$dict.dict")
"$binary" "${options[@]}" -artifact_prefix="${ARTIFACT_PREFIX:-$PWD/}" "$@" "$scratch" "$here/corpus/$name"
