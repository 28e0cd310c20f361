#!/usr/bin/env bash
# Throughput of the simulator's file answers as curl sees them: a 1 GiB file over HTTPS from the
# platform and over plain HTTP from an update host. Prints the figures and the HTTPS/HTTP ratio.
# Usage: bench/run sim_download [--build DIR] [BYTES]
set -euo pipefail
bytes=${1:-1073741824}
dir=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$dir"' EXIT
"$BUILD/sim/pelvaro-sim" --ephemeral --ports-file "$dir/ports.json" --update-size "$bytes" \
  >"$dir/sim.log" 2>&1 </dev/null &
sim=$!
for _ in $(seq 200); do [ -f "$dir/ports.json" ] && break; sleep 0.05; done
port() { sed -E "s/.*\"$1\":([0-9]+).*/\\1/" "$dir/ports.json"; }
best() {  # the best of three runs, in bytes per second
  local top=0 speed
  for _ in 1 2 3; do
    speed=$(curl -k -s -o /dev/null -w '%{speed_download}' "$1")
    speed=${speed%.*}
    [ "$speed" -gt "$top" ] && top=$speed
  done
  echo "$top"
}
https=$(best "https://127.0.0.1:$(port platform)/bench/$bytes.mp4")
http=$(best "http://127.0.0.1:$(port update1)/down_pelvaro/download/file.bin")
echo "figure sim_https_download $((https / 1000000)) MB/s"
echo "figure sim_http_download $((http / 1000000)) MB/s"
awk -v a="$https" -v b="$http" 'BEGIN { printf "ratio sim_https_over_http %.3f\n", a / b }'
