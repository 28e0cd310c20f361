#!/usr/bin/env bash
# bash bench/tests.sh [--build DIR] [--against LOG]
# Runs the whole test suite of an already built test build (default build/debug, as
# scripts/test makes it) with ctest -j$(nproc) and prints its wall time, the sum of the tests'
# times and the slowest test, one "figure <name> <value> <unit>" line each. With --against, the
# output of an earlier ctest run of the same machine, the same figures of that run follow with
# the ratios (this run divided by that one; lower is better).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/debug
against=
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(realpath -m "$2"); shift 2 ;;
    --against) against=$(realpath -m "$2"); shift 2 ;;
    *) echo "bench/tests.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$(date +%s.%N)
status=0
ctest --test-dir "$build" -j "$(nproc)" >"$log" 2>&1 || status=$?
end=$(date +%s.%N)
wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')

# "sum slowest name" of a ctest log: every "Test #N: name ... Passed   1.23 sec" line.
summary() {
  awk '/Test +#[0-9]+:/ { t = $(NF-1); s += t; n++; if (t > m) { m = t; name = $4 } }
       END { printf "%.1f %d %.1f %s\n", s, n, m, name }' "$1"
}
read -r sum count slowest name < <(summary "$log")
echo "figure ctest_wall $wall s"
echo "figure test_seconds $sum s ($count tests)"
echo "figure slowest_test $slowest s $name"
if [ -n "$against" ]; then
  read -r bsum bcount bslowest bname < <(summary "$against")
  # The earlier run's wall time: ctest's own "Total Test time (real)" line when it has one.
  bwall=$(awk '/Total Test time \(real\)/ { print $(NF-1) }' "$against")
  echo "figure before_test_seconds $bsum s ($bcount tests)"
  echo "figure before_slowest_test $bslowest s $bname"
  awk -v a="$sum" -v b="$bsum" 'BEGIN { printf "ratio test_seconds %.2f\n", a / b }'
  if [ -n "$bwall" ]; then
    echo "figure before_ctest_wall $bwall s"
    awk -v a="$wall" -v b="$bwall" 'BEGIN { printf "ratio ctest_wall %.2f\n", a / b }'
  fi
fi
grep -E "tests passed|tests failed" "$log" || true
exit "$status"
