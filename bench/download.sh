#!/usr/bin/env bash
# Downloads the same 1 GiB file from a loopback server with our ranged downloader (2
# connections), curl (one connection) and aria2c (2 connections, 1 MiB pieces), alternating
# runs, three of each; then again with the server limiting every connection to 20 MB/s (curl
# left out: one limited connection says nothing about splitting). Each run is timed from
# process start to exit and its file is checked byte for byte afterwards (untimed). Prints
# each tool's MB/s (median run) as figures and our time over a peer's as ratios. The limited
# case runs again with a delay of 30 and of 100 ms before every answer, as a distant server
# has: one request per 1 MiB block costs us a round trip per MiB (report only).
# Run through: bench/run download
set -euo pipefail
build=${BUILD:?run through bench/run}
server_bin=$build/bench/bench_file_server
driver_bin=$build/bench/bench_ranged_download
size=$((1 << 30))
limit=20000000
runs=3

work=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

start_server() {  # start_server RATE [DELAY_MS]
  "$server_bin" --size "$size" --rate "$1" --delay-ms "${2:-0}" >"$work/port" &
  server_pid=$!
  while [ ! -s "$work/port" ]; do sleep 0.05; done
  url="http://127.0.0.1:$(head -n1 "$work/port")/video.bin"
}

stop_server() {
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=
  rm -f "$work/port"
}

fetch() {
  case $1 in
    ours) "$driver_bin" "$url" "$work/out.bin" 2 ;;
    curl) curl -sSf -o "$work/out.bin" "$url" ;;
    aria2c) aria2c -q -x2 -s2 -k1M --file-allocation=none --allow-overwrite=true --auto-file-renaming=false \
              -d "$work" -o out.bin "$url" ;;
  esac
}

# time_run TOOL: prints the seconds one download took; fails when its file is wrong.
time_run() {
  local start end
  start=$(date +%s.%N)
  fetch "$1" >/dev/null
  end=$(date +%s.%N)
  "$driver_bin" --check "$work/out.bin" "$size" >&2
  rm -f "$work"/out.bin*
  echo "$end - $start" | bc -l
}

median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }
mbps() { echo "scale=1; $size / 1000000 / $1" | bc -l; }
ratio() { echo "scale=3; $1 / $2" | bc -l; }

declare -A times
measure() {  # measure MODE TOOL...
  local mode=$1 round tool
  shift
  for round in $(seq "$runs"); do
    for tool in "$@"; do
      times[$mode.$tool]+="$(time_run "$tool") "
    done
  done
  for tool in "$@"; do
    # shellcheck disable=SC2086
    times[$mode.$tool]=$(median ${times[$mode.$tool]})
    echo "figure ${tool}_${mode}_mbps $(mbps "${times[$mode.$tool]}") MB/s"
  done
}

start_server 0
measure unthrottled ours curl aria2c
stop_server
start_server "$limit"
measure throttled ours aria2c
stop_server

for delay in 30 100; do
  start_server "$limit" "$delay"
  measure "throttled_delay${delay}ms" ours aria2c
  stop_server
done

echo "figure throttled_efficiency $(echo "scale=3; $size / ${times[throttled.ours]} / (2 * $limit)" | bc -l) fraction"
echo "ratio unthrottled_vs_curl $(ratio "${times[unthrottled.ours]}" "${times[unthrottled.curl]}")"
echo "ratio unthrottled_vs_aria2c $(ratio "${times[unthrottled.ours]}" "${times[unthrottled.aria2c]}")"
echo "ratio throttled_vs_aria2c $(ratio "${times[throttled.ours]}" "${times[throttled.aria2c]}")"
for delay in 30 100; do
  echo "ratio throttled_delay${delay}ms_vs_aria2c $(ratio "${times[throttled_delay${delay}ms.ours]}" "${times[throttled_delay${delay}ms.aria2c]}")"
done
