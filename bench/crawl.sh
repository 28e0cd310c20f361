#!/usr/bin/env bash
# The crawl's own cost, against the simulator at zero latency with small videos and no pause
# after a download:
#   overhead_per_video_ms  time per taken video minus the fixed pauses the crawl had to take,
#                          printed beside fixed_pauses_per_video_ms (target: under 15 ms)
#   catalogue_write_ms     time per catalogue row, written as a finished download writes it
#                          (target: under 1 ms); the overhead above includes the catalogue
#   wait_cpu_percent       process CPU time during a 5 s wait between passes (target: under 1%)
#   rss_growth_mb          resident memory after 5,000 taken videos minus after 200 (target: < 1)
# Usage: bench/run crawl [--build DIR] [VIDEOS_FOR_RSS]   (default 5000; it takes a while)
set -euo pipefail
build=${BUILD:?run through bench/run}
rss_videos=${1:-5000}
cli=$build/src/app/pelvaro-cli
source "$(dirname "$0")/sim_session.sh"

start_sim --journal "$work/journal.jsonl" --size-scale 0.002 \
  --articles 20000

open_filters=(--pause-ms 0 --hours 1000000 --min-duration 0 --max-duration 1000000 --min-size 0
  --max-size 1000000 --max-files 100000000 --min-free-mb 0)
count() { grep -c -F -- "$1" "$2" || true; }

# 1. Overhead per taken video: the run's time minus every fixed pause it took, by what it logged.
export PELVARO_RUN_DIR=$work/overhead
mkdir -p "$PELVARO_RUN_DIR"
: >"$work/journal.jsonl"
"$cli" --max-videos 100 "${open_filters[@]}" >"$work/overhead.out" 2>"$work/overhead.err"
summary=$(cat "$work/overhead.out")
seconds=$(sed -n 's/.* seconds=\([0-9.]*\).*/\1/p' <<<"$summary")
taken=$(sed -n 's/.* taken=\([0-9]*\).*/\1/p' <<<"$summary")
err=$work/overhead.err
passes=$(count "读取到数据：" "$err")
waits=$(count "5秒后执行下一个数据" "$err")
history=$(count "已存在，" "$err")
rejects=$(( $(count "不符要求" "$err") + $(count "日期不符" "$err") + $(count "时长不符" "$err") + $(count "大小不符" "$err") ))
exists=$(count "视频已存在放弃，" "$err")
failed=$(count "下载失败" "$err")
pages=$(count '"target":"/article/' "$work/journal.jsonl")
# 20+20 per pass, 5 s between passes, 200 per history hit, 20+200 per reject, 160 per existing
# file, 280 per download (taken or failed), 160 per article page.
pause_ms=$(( passes * 40 + waits * 5000 + history * 200 + rejects * 220 + exists * 160 + (taken + failed) * 280 + pages * 160 ))
awk -v s="$seconds" -v p="$pause_ms" -v t="$taken" 'BEGIN {
  printf "figure fixed_pauses_per_video_ms %.1f ms\n", p / t
  printf "figure time_per_video_ms %.1f ms\n", s * 1000 / t
  printf "figure overhead_per_video_ms %.1f ms\n", (s * 1000 - p) / t
}'
rows=$(sqlite3 "$PELVARO_RUN_DIR/data/catalogue.db" 'select count(*) from videos')
markers=$(find "$PELVARO_RUN_DIR/pelvarolishi" -type f | wc -l)
[ "$rows" = "$markers" ] || echo "crawl: $rows catalogue rows for $markers markers" >&2
"$build/bench/bench_catalogue_write" "$work/catalogue"

# 2. and 3. One long crawl: CPU time during a wait between passes, and memory after 200 and
# after the last videos.
export PELVARO_RUN_DIR=$work/long
mkdir -p "$PELVARO_RUN_DIR"
"$cli" --max-videos $((rss_videos + 1)) "${open_filters[@]}" >"$work/long.out" 2>"$work/long.err" &
cli_pid=$!
ticks=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$cli_pid/stat"; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$cli_pid/status"; }
done_count() { count "任务完成，开始下一个。" "$work/long.err"; }

waits_seen=0
until [ "$(count "5秒后执行下一个数据" "$work/long.err")" -ge 1 ]; do sleep 0.05; done
c0=$(cpu); t0=$(date +%s.%N)
sleep 4
c1=$(cpu); t1=$(date +%s.%N)
awk -v c="$((c1 - c0))" -v hz="$ticks" -v a="$t0" -v b="$t1" \
  'BEGIN { printf "figure wait_cpu_percent %.2f %%\n", c / hz / (b - a) * 100 }'

until [ "$(done_count)" -ge 200 ]; do
  kill -0 "$cli_pid" 2>/dev/null || { echo "crawl: the long run ended before 200 videos" >&2; tail -3 "$work/long.err" "$work/long.out" >&2; exit 1; }
  sleep 0.5
done
rss200=$(rss_kb)
[ -n "$rss200" ] || { echo "crawl: the long run ended at 200 videos" >&2; tail -3 "$work/long.err" "$work/long.out" >&2; exit 1; }
until [ "$(done_count)" -ge "$rss_videos" ]; do
  kill -0 "$cli_pid" 2>/dev/null || { echo "crawl: the long run ended early" >&2; exit 1; }
  sleep 0.5
done
rss_end=$(rss_kb)
kill -INT "$cli_pid"; wait "$cli_pid" || true; cli_pid=
awk -v a="$rss200" -v b="$rss_end" -v n="$rss_videos" 'BEGIN {
  printf "figure rss_after_200_mb %.1f MB\n", a / 1024
  printf "figure rss_after_%d_mb %.1f MB\n", n, b / 1024
  printf "figure rss_growth_mb %.1f MB\n", (b - a) / 1024
}'
