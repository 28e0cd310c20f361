# Sourced by the crawl benchmarks: a scratch folder removed at exit together with the simulator
# and the collector it ran, and start_sim FLAGS... which starts the simulator on free ports and
# points the collector at it, and stop_sim. Needs $build; leaves $work, $sim_pid and $cli_pid for
# the caller.
work=$(mktemp -d)
sim_pid=
cli_pid=
cleanup() {
  [ -n "$cli_pid" ] && kill "$cli_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_sim() {
  "$build/sim/pelvaro-sim" --ephemeral --ports-file "$work/ports.json" --cert-out "$work/cert.pem" "$@" \
    >"$work/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 500); do [ -s "$work/ports.json" ] && break; sleep 0.02; done
  export PELVARO_PLATFORM_WEB_HOST=127.0.0.1:$(sim_port platform)
  export PELVARO_VENDOR_API_HOST=127.0.0.1:$(sim_port vendor_api)
  export PELVARO_VENDOR_LIST_HOST=127.0.0.1:$(sim_port vendor_list)
  export PELVARO_CA_FILE=$work/cert.pem
}

# Stops the simulator start_sim started, so that the next case starts its own.
stop_sim() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  sim_pid=
  rm -f "$work/ports.json"
}

sim_port() { sed -n "s/.*\"$1\": *\([0-9]*\).*/\1/p" "$work/ports.json"; }
