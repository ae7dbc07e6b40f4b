#!/bin/sh
# Decoding quality on real teletype noise: two bulletins of the test corpus
# are sent as 100-baud RTTY through white noise at several signal-to-noise
# ratios, received by the project's RTTY demodulator, and decoded. Each
# report is compared with the decode of the clean text.
#
#   bench/synop/rtty_roundtrip.sh BUILD_DIR
set -eu
build=${1:?usage: rtty_roundtrip.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
corpus="$here/../../synopdecoder/tests/data/clean.txt"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$corpus" "$work/text.txt" <<'PY'
import sys
parts = open(sys.argv[1], newline='').read().split('NNNN\r\n')
open(sys.argv[2], 'w', newline='').write('NNNN\r\n'.join(parts[:2]) + 'NNNN\r\n')
PY
"$build/bin/pluvane-synop" "$work/text.txt" >"$work/clean.json" 2>/dev/null
for snr in 6 0 -3 -5 -7; do
    "$build/bin/pluvane-rtty" encode --baud 100 --shift 850 --centre 1700 --snr "$snr" --seed 3 \
        "$work/text.txt" "$work/signal.wav" 2>/dev/null
    "$build/bin/pluvane-rtty" decode --quiet --baud 100 --shift 850 --centre 1700 "$work/signal.wav" >"$work/received.txt"
    "$build/bin/pluvane-synop" "$work/received.txt" >"$work/received.json" 2>/dev/null
    printf 'SNR %3s dB: ' "$snr"
    python3 - "$work/clean.json" "$work/received.json" <<'PY'
import json, sys
fields = ['air_temp_c', 'dew_point_c', 'sea_level_pressure_hpa', 'station_pressure_hpa', 'wind_speed',
          'wind_dir_deg', 'visibility_m', 'present_weather_code', 'max_temp_c', 'min_temp_c',
          'pressure_change_hpa', 'precip_mm', 'cloud_cover_okta']
clean = {o['station']: o for o in map(json.loads, open(sys.argv[1]))}
found = right = wrong = lost = 0
for o in map(json.loads, open(sys.argv[2])):
    c = clean.get(o['station'])
    if not c:
        continue
    found += 1
    for f in fields:
        if f in c:
            if f not in o: lost += 1
            elif o[f] == c[f]: right += 1
            else: wrong += 1
total = right + wrong + lost
print(f"reports {found}/{len(clean)}, values right {right}/{total}, wrong {wrong}, dropped {lost}")
PY
done
