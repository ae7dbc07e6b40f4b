#!/usr/bin/env bash
# Runs one fuzz target on its seed corpus and dictionary, with what it finds
# kept in a corpus folder of its own so the seeds in the repository stay as
# they are: $FUZZ_CORPUS_DIR when set (kept between runs), else a scratch
# folder removed afterwards.
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
# A small quarantine: ASan's default (256 MB) and its bookkeeping grow a long
# run towards libFuzzer's memory limit long before any input misbehaves.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:thread_local_quarantine_size_kb=256:malloc_context_size=10}
if [ -n "${FUZZ_CORPUS_DIR:-}" ]; then
  corpus=$FUZZ_CORPUS_DIR
  mkdir -p "$corpus"
else
  corpus=$(mktemp -d)
  trap 'rm -rf "$corpus"' EXIT
fi
# The card control reads the same protocol as the server.
dict=$name
[ "$name" = cardctl ] && dict=protocol
options=()
[ -f "$here/dict/$dict.dict" ] && options+=(-dict="$here/dict/$dict.dict")
"$binary" "${options[@]}" -artifact_prefix="${ARTIFACT_PREFIX:-$PWD/}" "$@" "$corpus" "$here/corpus/$name"
