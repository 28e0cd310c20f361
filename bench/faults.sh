#!/usr/bin/env bash
# Crawls on a network and a machine that misbehave, each judged from the files left on disk
# (bench_sim_files_check) and the simulator's journal. Every case prints its figures with the
# case's name first:
#   network        VIDEOS videos (default 300) while files stall with the connection open,
#                  reset, answer 503 with Retry-After, change between requests, and some can
#                  never be fetched; also the longest time between two ended downloads and the
#                  memory and threads at the start and the end
#   inplace        files overwritten in place (same size) while their ranges are under way
#   drip           files that come at 200 bytes a second: each ends as too slow
#   two_copies     two copies at full speed on one folder from the same first seed
#   locked_catalogue  another program holds the catalogue locked for 8 s at the start
# Figures of every case (targets 0 but for the counts of videos):
#   corrupt_files (mixed or wrong bytes), orphan_partials (".NAME.mp4.pelvaro-part" left behind), complete_without_marker,
#   marker_without_complete_file, markers_without_row; for two_copies also videos_taken_twice
#   (videos whose download started twice: two size probes) and failure_rows
# The network limits are shortened (no data 2 s, stall 6 s, too slow after 3 s, first pause
# 100 ms), so that the faults cost seconds rather than minutes.
# Usage: bench/run faults [--build DIR] [VIDEOS] [CASE...]   (default 300, every case)
set -euo pipefail
build=${BUILD:?run through bench/run}
videos=${1:-300}
shift || true
cases=("$@")
[ ${#cases[@]} -eq 0 ] && cases=(network inplace drip two_copies locked_catalogue)
cli=$build/src/app/pelvaro-cli
check=$build/bench/bench_sim_files_check
source "$(dirname "$0")/sim_session.sh"

export PELVARO_TEST_NO_DATA_MS=2000 PELVARO_TEST_STALL_MS=6000 PELVARO_TEST_LOW_SPEED_MS=3000
export PELVARO_TEST_RETRY_PAUSE_MS=100
open_filters=(--pause-ms 0 --hours 1000000 --min-duration 0 --max-duration 1000000 --min-size 0
  --max-size 1000000 --max-files 100000000 --min-free-mb 0)
seed=7
articles=20000

count() { grep -c -F -- "$1" "$2" || true; }
summary_value() { sed -n "s/.* $1=\([0-9]*\).*/\1/p" "$2" | head -1; }

# The verdict of one case from its data folder: the files, the markers and the rows.
judge() {
  local name=$1 run=$2 scale=$3 graph=${4:-$articles}
  "$check" "$run" $seed "$graph" "$scale" | sed "s/^figure /figure ${name}_/"
  local markers rows
  markers=$(find "$run/pelvarolishi" -maxdepth 1 -type f -printf '%f\n' 2>/dev/null | sort)
  rows=$(sqlite3 "$run/data/catalogue.db" 'select docid from videos' 2>/dev/null | sort)
  echo "figure ${name}_markers_without_row $(comm -23 <(echo "$markers") <(echo "$rows") | grep -c . || true) markers"
}

reasons() {
  local name=$1 out=$2
  echo "figure ${name}_videos_taken $(summary_value taken "$out") videos"
  echo "figure ${name}_videos_failed $(summary_value failed "$out") videos"
  sed -n 's/^failed_by_reason //p' "$out" | tr ';' '\n' | sed 's/^ *//' | while IFS= read -r item; do
    [ -n "$item" ] && echo "figure ${name}_failed_reason ${item##*=} videos (${item%=*})"
  done
}

# One crawl of a case: its data folder, the simulator's flags, the crawl's flags.
crawl_case() {
  local name=$1 scale=$2 max=$3
  shift 3
  local sim_flags=() cli_flags=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do sim_flags+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  cli_flags=("$@")
  start_sim --seed $seed --articles $articles --size-scale "$scale" "${sim_flags[@]}"
  export PELVARO_RUN_DIR=$work/$name
  mkdir -p "$PELVARO_RUN_DIR"
  "$cli" --max-videos "$max" "${open_filters[@]}" "${cli_flags[@]+"${cli_flags[@]}"}" \
    >"$work/$name.out" 2>"$work/$name.err" || true
  reasons "$name" "$work/$name.out"
  judge "$name" "$PELVARO_RUN_DIR" "$scale"
  stop_sim
}

network_case() {
  local scale=0.02
  start_sim --seed $seed --articles $articles --size-scale $scale \
    --stall-after 65536 --stall-every 37 --reset-after 40000 --reset-first 2 --reset-every 5 \
    --busy-first 2 --busy-every 7 --retry-after 1 --change-after 2 --change-every 11 --broken-every 53
  export PELVARO_RUN_DIR=$work/network
  mkdir -p "$PELVARO_RUN_DIR"
  ended() { echo $(( $(count "任务完成，开始下一个。" "$work/err") + $(count "下载失败：" "$work/err") )); }
  rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$cli_pid/status" 2>/dev/null || echo 0; }
  threads() { awk '/^Threads:/ { print $2 }' "/proc/$cli_pid/status" 2>/dev/null || echo 0; }
  # Every stderr line with the time it arrived, for the longest video.
  "$cli" --max-videos "$videos" "${open_filters[@]}" \
    2> >(perl -MTime::HiRes=time -ne '$|=1; printf "%.3f %s", time, $_' >"$work/err") >"$work/network.out" &
  cli_pid=$!
  until [ "$(ended)" -ge 10 ]; do
    kill -0 "$cli_pid" 2>/dev/null || break
    sleep 0.2
  done
  local rss0 threads0 rss1 threads1 r t
  rss0=$(rss_kb); threads0=$(threads)
  rss1=$rss0; threads1=$threads0
  while kill -0 "$cli_pid" 2>/dev/null; do
    # The last reading before the run ends.
    r=$(rss_kb); t=$(threads)
    [ "$r" != 0 ] && { rss1=$r; threads1=$t; }
    sleep 0.2
  done
  wait "$cli_pid" || true
  cli_pid=
  sleep 0.5
  reasons network "$work/network.out"
  judge network "$PELVARO_RUN_DIR" $scale
  grep -F -e "任务完成，开始下一个。" -e "下载失败：" "$work/err" | awk '
    { t = $1; if (NR > 1 && t - last > longest) longest = t - last; last = t }
    END { printf "figure network_longest_video_seconds %.1f s\n", longest }'
  awk -v a="$rss0" -v b="$rss1" -v c="$threads0" -v d="$threads1" 'BEGIN {
    printf "figure network_rss_start_mb %.1f MB\n", a / 1024
    printf "figure network_rss_end_mb %.1f MB\n", b / 1024
    printf "figure network_threads_start %d threads\n", c
    printf "figure network_threads_end %d threads\n", d
  }'
  stop_sim
}

two_copies_case() {
  local scale=0.005 graph=400
  rm -f "$work/journal.jsonl"
  start_sim --journal "$work/journal.jsonl" --seed $seed --articles $graph --size-scale $scale
  export PELVARO_RUN_DIR=$work/two_copies
  mkdir -p "$PELVARO_RUN_DIR"
  # Both walk from the same seed in the same order: the vendor's service is away for them, so
  # the seed link is the first seed of both.
  local t first
  t=$(date +%s)
  first=$(curl -s -H "sign:$(printf 'lurimbake48213q@@##706%s' "$t" | md5sum | cut -c1-32)@$t" \
    "http://$PELVARO_VENDOR_API_HOST/pelvaro?leimu=%CB%F9%D3%D0%C0%E0%C4%BF&id=&del=")
  local link="https://$PELVARO_PLATFORM_WEB_HOST/article/$first?title_sn=0"
  PELVARO_VENDOR_API_HOST=127.0.0.1:1 "$cli" --max-videos 40 --max-seconds 120 --seed-link "$link" \
    "${open_filters[@]}" >"$work/one.out" 2>"$work/one.err" &
  local one=$!
  PELVARO_VENDOR_API_HOST=127.0.0.1:1 "$cli" --max-videos 40 --max-seconds 120 --seed-link "$link" \
    "${open_filters[@]}" >"$work/two.out" 2>"$work/two.err" || true
  wait $one || true
  echo "figure two_copies_videos_taken $(( $(summary_value taken "$work/one.out") + $(summary_value taken "$work/two.out") )) videos"
  echo "figure two_copies_videos_failed $(( $(summary_value failed "$work/one.out") + $(summary_value failed "$work/two.out") )) videos"
  echo "figure two_copies_failure_rows $(sqlite3 "$PELVARO_RUN_DIR/data/catalogue.db" 'select count(*) from failures') rows"
  judge two_copies "$PELVARO_RUN_DIR" $scale $graph
  # A download starts with its size probe, the one GET of a video without a range; nothing
  # here asks it again.
  echo "figure two_copies_videos_taken_twice $(grep -F '"target":"/video/' "$work/journal.jsonl" |
    grep -F '"method":"GET"' | grep -v -F 'Range:' | sed -n 's/.*"target":"\([^"]*\)".*/\1/p' | sort | uniq -d |
    wc -l) videos"
  stop_sim
}

locked_catalogue_case() {
  export PELVARO_RUN_DIR=$work/locked_catalogue
  mkdir -p "$PELVARO_RUN_DIR"
  "$cli" --stats >/dev/null  # the catalogue with its tables, before it is locked
  python3 -c '
import sqlite3, sys, time
c = sqlite3.connect(sys.argv[1], isolation_level=None)
c.execute("BEGIN EXCLUSIVE")
open(sys.argv[2], "w").close()
time.sleep(8)
c.execute("COMMIT")' "$PELVARO_RUN_DIR/data/catalogue.db" "$work/locked" &
  local locker=$!
  until [ -e "$work/locked" ]; do sleep 0.05; done
  crawl_case locked_catalogue 0.01 20
  wait $locker || true
}

for name in "${cases[@]}"; do
  case $name in
    network) network_case ;;
    inplace) crawl_case inplace 0.05 30 --overwrite-after 300000 --overwrite-every 3 ;;
    drip) crawl_case drip 0.02 20 --drip 200 --drip-every 4 ;;
    two_copies) two_copies_case ;;
    locked_catalogue) locked_catalogue_case ;;
    *) echo "bench faults: no case $name" >&2; exit 2 ;;
  esac
done
