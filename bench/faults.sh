#!/usr/bin/env bash
# A crawl on a network that misbehaves: pelvaro-cli takes 300 videos from the simulator while
# some video files stall with the connection open, reset now and then, answer 503 with
# Retry-After, change on the server between requests, and a few can never be fetched. The
# verdict comes from the files alone (bench_sim_files_check):
#   taken, failed by reason      the summary lines
#   corrupt_files                files that are not exactly one version of a video (target 0)
#   orphan_partials              ".NAME.mp4.pelvaro-part" partial files left behind (target 0)
#   complete_without_marker, marker_without_complete_file   (targets 0)
#   longest_video_seconds        the longest time between two ended downloads
#   rss_*_mb, threads_*          at the start (10 videos) and at the end
# The network limits are shortened (no data 2 s, stall 6 s, first pause 100 ms), so that the
# stalls cost seconds rather than minutes.
# Usage: bench/run faults [--build DIR] [VIDEOS]   (default 300)
set -euo pipefail
build=${BUILD:?run through bench/run}
videos=${1:-300}
cli=$build/src/app/pelvaro-cli
check=$build/bench/bench_sim_files_check
source "$(dirname "$0")/sim_session.sh"

seed=7
articles=20000
scale=0.02
start_sim --seed $seed --articles $articles \
  --size-scale $scale --stall-after 65536 --stall-every 37 --reset-after 40000 --reset-first 2 --reset-every 5 \
  --busy-first 2 --busy-every 7 --retry-after 1 --change-after 2 --change-every 11 --broken-every 53
export PELVARO_TEST_NO_DATA_MS=2000 PELVARO_TEST_STALL_MS=6000 PELVARO_TEST_RETRY_PAUSE_MS=100
export PELVARO_RUN_DIR=$work/run
mkdir -p "$PELVARO_RUN_DIR"

count() { grep -c -F -- "$1" "$2" || true; }
ended() { echo $(( $(count "任务完成，开始下一个。" "$work/err") + $(count "下载失败：" "$work/err") )); }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$cli_pid/status" 2>/dev/null || echo 0; }
threads() { awk '/^Threads:/ { print $2 }' "/proc/$cli_pid/status" 2>/dev/null || echo 0; }

# Every stderr line with the time it arrived, for the longest video.
"$cli" --max-videos "$videos" --pause-ms 0 --hours 1000000 --min-duration 0 --max-duration 1000000 --min-size 0 \
  --max-size 1000000 --max-files 100000000 --min-free-mb 0 \
  2> >(perl -MTime::HiRes=time -ne '$|=1; printf "%.3f %s", time, $_' >"$work/err") >"$work/out" &
cli_pid=$!
until [ "$(ended)" -ge 10 ]; do
  kill -0 "$cli_pid" 2>/dev/null || break
  sleep 0.2
done
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

cat "$work/out"
taken=$(sed -n 's/.* taken=\([0-9]*\).*/\1/p' "$work/out")
failed=$(sed -n 's/.* failed=\([0-9]*\).*/\1/p' "$work/out")
echo "figure videos_taken $taken videos"
echo "figure videos_failed $failed videos"
sed -n 's/^failed_by_reason //p' "$work/out" | tr ';' '\n' | sed 's/^ *//' | while IFS= read -r item; do
  [ -n "$item" ] && echo "figure failed_reason ${item##*=} videos (${item%=*})"
done
"$check" "$PELVARO_RUN_DIR" $seed $articles $scale
grep -F -e "任务完成，开始下一个。" -e "下载失败：" "$work/err" | awk '
  { t = $1; if (NR > 1 && t - last > longest) longest = t - last; last = t }
  END { printf "figure longest_video_seconds %.1f s\n", longest }'
awk -v a="$rss0" -v b="$rss1" -v c="$threads0" -v d="$threads1" 'BEGIN {
  printf "figure rss_start_mb %.1f MB\n", a / 1024
  printf "figure rss_end_mb %.1f MB\n", b / 1024
  printf "figure threads_start %d threads\n", c
  printf "figure threads_end %d threads\n", d
}'
