#!/bin/bash
# Impulse noise beyond hf.sh's one mix: clicks at other rates and levels,
# long crashes, bursts inside flat fading and inside dips of both tones,
# and ignition-like pulse trains. Two builds of pluvane-rtty on the same
# files over several seeds (seeds.sh's table: CER pooled, each seed's in
# brackets).
#
#   bench/rtty/bursts.sh BEFORE_DECODER AFTER_DECODER [BUILD_DIR]   (default: build)
# Environment: as seeds.sh (RTTY_SEEDS, RTTY_SEEDS_CHARS, RTTY_SEEDS_LINES);
# RTTY_BURSTS_POINTS replaces the rows below (channel:SNR, channels as in
# hfchannel::channelPreset, joined with '+').
set -euo pipefail

points=${RTTY_BURSTS_POINTS:-"clicks:5:10:30:10 clicks:20:10:30:10 clicks:5:30:40:10 crashes:0.5:50:300:10:30:10 crashes:1:20:80:10:20:24 flat+impulse:24 dips:20:0.3:3+impulse:24 ignition:60:20:10 ignition:100:30:10"}
RTTY_SEEDS_POINTS="$points" exec "$(dirname "$0")/seeds.sh" "$@"
