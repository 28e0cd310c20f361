#!/usr/bin/env bash
# N collectors sharing one catalogue on a throwaway PostgreSQL server, against one simulator,
# each with its own data and output folders, for the same time as one collector alone:
#   videos_taken          markers written by the whole fleet
#   duplicates            docids marked by more than one collector (target: 0)
#   claim_median_ms       the median time of a claim (the middle one of the collectors' medians)
#   claim_p99_ms          the 99th percentile of a claim (the highest of the collectors')
#   ratio throughput_N_to_1  the fleet's videos per second over one collector's
# Usage: bench/run fleet [--build DIR] N [SECONDS]   (default 4 collectors, 20 s each)
set -euo pipefail
build=${BUILD:?run through bench/run}
collectors=${1:-4}
seconds=${2:-20}
cli=$build/src/app/pelvaro-cli
source "$(dirname "$0")/sim_session.sh"

# The server: initdb and pg_ctl on a Unix socket in the scratch folder, as the postgres user
# when run as root (the server refuses root).
pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -x "$pg_bin/pg_ctl" ] || { echo "fleet: no PostgreSQL server installed (run scripts/setup)" >&2; exit 1; }
pg=$work/pg
mkdir -p "$pg"
as_server=()
if [ "$(id -u)" = 0 ]; then
  chown postgres: "$pg"
  chmod 755 "$work"
  as_server=(runuser -u postgres --)
fi
"${as_server[@]}" "$pg_bin/initdb" -D "$pg/data" -A trust -U pelvaro -E UTF8 --locale=C --no-sync \
  --no-instructions >"$work/initdb.log" 2>&1
"${as_server[@]}" "$pg_bin/pg_ctl" -D "$pg/data" -l "$pg/server.log" \
  -o "-k $pg -c listen_addresses='' -c fsync=off -c max_connections=50" -w -t 30 start >/dev/null
stop_pg() { "${as_server[@]}" "$pg_bin/pg_ctl" -D "$pg/data" -m immediate -w stop >/dev/null 2>&1 || true; }
trap 'stop_pg; cleanup' EXIT
database() {
  "${as_server[@]}" "$pg_bin/createdb" -h "$pg" -U pelvaro "$1"
  echo "postgresql://pelvaro@/$1?host=$pg"
}

start_sim --size-scale 0.002 --articles 20000

open_filters=(--pause-ms 0 --hours 1000000 --min-duration 0 --max-duration 1000000 --min-size 0
  --max-size 1000000 --max-files 100000000 --min-free-mb 0)

# run_fleet NAME COUNT: COUNT collectors on database NAME for $seconds; waits for all of them.
run_fleet() {
  local uri pids=()
  uri=$(database "$1")
  for i in $(seq 1 "$2"); do
    local dir=$work/$1/$i
    mkdir -p "$dir"
    PELVARO_RUN_DIR=$dir "$cli" --catalogue "$uri" --max-seconds "$seconds" --log --output "$dir/video" \
      "${open_filters[@]}" >"$dir/out" 2>"$dir/err" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || echo "fleet: a collector of $1 ended with $?" >&2; done
}
markers() { find "$work/$1" -path '*/pelvarolishi/*' -type f -printf '%f\n'; }
claim_figure() {  # claim_figure NAME FIELD
  sed -n "s/.*shared catalogue claims=[0-9]* median_ms=\([0-9.]*\) p99_ms=\([0-9.]*\).*/\1 \2/p" \
    "$work/$1"/*/err | awk -v f="$2" '{ print $f }' | sort -n
}

run_fleet one 1
run_fleet fleet "$collectors"

one=$(markers one | wc -l)
taken=$(markers fleet | wc -l)
unique=$(markers fleet | sort -u | wc -l)
medians=$(claim_figure fleet 1)
p99=$(claim_figure fleet 2 | tail -1)
median=$(awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }' <<<"$medians")
echo "figure collectors $collectors count"
echo "figure seconds_each $seconds s"
echo "figure videos_taken_alone $one videos"
echo "figure videos_taken $taken videos"
echo "figure duplicates $((taken - unique)) videos"
echo "figure claim_median_ms $median ms"
echo "figure claim_p99_ms $p99 ms"
awk -v n="$taken" -v one="$one" -v c="$collectors" \
  'BEGIN { printf "ratio throughput_%d_to_1 %.2f\n", c, (one > 0 ? n / one : 0) }'
