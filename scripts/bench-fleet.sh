#!/usr/bin/env bash
# bench-fleet.sh [BUILD_DIR]: the CLI against many simulated modules, each on an address of its own
# behind one veth pair, beside the same command for one module: a write of two fields to 100
# modules at once and with the default --parallel, a restart of 1000 modules, the CLI's peak
# memory for 1000, and a search by address of the 1270 addresses around them. Each timed figure is
# the best of BENCH_FLEET_RUNS runs (default 2): the machine is shared. scripts/bench.sh calls it
# with its release build, inside its namespace; alone, it builds build-bench and makes a namespace
# of its own.
source "$(dirname "$0")/lib-bench.sh"
RUNS=${BENCH_FLEET_RUNS:-2}
source tests/e2e/lib.sh "$B/src"
e2e_require_private_netns
make_peer 171
add_peer_addresses 171 1000
best() { sort -g | head -n 1; }
cli() { "$CLI" --interface 10.77.171.1 "$@" > /dev/null 2>&1; }
CLIARGS=("$CLI" --interface 10.77.171.1)

# sim N: N simulated modules on the first N addresses; the ones before are stopped.
SIMPID=
sim() {
  [ -n "$SIMPID" ] && { kill "$SIMPID"; wait "$SIMPID" 2>/dev/null || true; }
  local all=("${PEER_ADDRESSES[@]}")
  PEER_ADDRESSES=("${all[@]:0:$1}")
  peer_modules_config "$E2E_TMP/m$1.cfg"
  PEER_ADDRESSES=("${all[@]}")
  start_peer_bg "$E2E_TMP/sim$1.log" "$SIM" lan --quiet --config "$E2E_TMP/m$1.cfg"
  SIMPID=$BG_PID
  wait_for_line "$E2E_TMP/sim$1.log" 'listening'
}
# seconds CMD...: wall time of one run, in seconds.
seconds() {
  local t0 t1
  t0=$(date +%s.%N)
  "$@" || echo "bench-fleet: '$*' exited $? (the figure is not a success's)" >&2
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'
}
# timed NAME CMD...: the best of RUNS wall times, printed as NAME: VALUE s and kept in FIG[NAME].
declare -A FIG
timed() {
  local name=$1 i; shift
  FIG[$name]=$(for ((i = 0; i < RUNS; i++)); do seconds "$@"; done | best)
  printf '%s: %.2f s\n' "$name" "${FIG[$name]}"
}
# ratio NAME A B: FIG[A] / FIG[B], printed as NAME: VALUE x.
ratio() { awk -v n="$1" -v a="${FIG[$2]}" -v b="${FIG[$3]}" 'BEGIN { printf "%s: %.2f x\n", n, a / b }'; }
# peak NAME CMD...: the CLI's largest resident set, printed as NAME: VALUE MiB.
peak() {
  local name=$1; shift
  local kib
  kib=$(python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$@")
  awk -v n="$name" -v k="$kib" 'BEGIN { printf "%s: %.1f MiB\n", n, k / 1024 }'
}

W="LocalPort=7100 Parity=ODD"
sim 1
timed fleet_write_1_module cli write --all $W
timed fleet_restart_1_module cli restart --all
peak cli_memory_restart_1_module "${CLIARGS[@]}" restart --all
sim 100
timed fleet_write_100_modules_parallel_100 cli write --all --parallel 100 $W
timed fleet_write_100_modules_parallel_32 cli write --all $W
ratio fleet_write_100_vs_1_parallel_100 fleet_write_100_modules_parallel_100 fleet_write_1_module
ratio fleet_write_100_vs_1_parallel_32 fleet_write_100_modules_parallel_32 fleet_write_1_module
sim 1000
timed fleet_restart_1000_modules cli restart --all
peak cli_memory_restart_1000_modules "${CLIARGS[@]}" restart --all
# Every one of the 1000 modules read at once: the most the CLI ever holds.
peak cli_memory_write_dry_run_1000_modules_parallel_1000 "${CLIARGS[@]}" write --all --dry-run --parallel 1000 $W
# A search by address of the five /24 networks the 1000 modules are in (1270 addresses): the time,
# most of it the bounded send rate, how many datagrams went out, and how many modules answered.
RANGES=10.77.171.0/24,10.78.171.0/24,10.79.171.0/24,10.80.171.0/24,10.81.171.0/24
t0=$(date +%s.%N)
"${CLIARGS[@]}" --wait 1000 --range "$RANGES" --json search > "$E2E_TMP/range.json" 2> "$E2E_TMP/range.err" ||
  echo "bench-fleet: the search by address exited $?" >&2
t=$(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
printf 'fleet_range_search_1270_addresses: %.2f s\n' "$t"
sent=$(grep -o -E 'Search sent to [0-9]+ of [0-9]+' "$E2E_TMP/range.err" | awk '{ print $4 }')
awk -v s="${sent:-0}" -v t="$t" 'BEGIN { printf "fleet_range_search_send_rate: %.0f datagrams/s\n", s / (t - 1.0) }'
printf 'fleet_range_search_datagrams_sent: %s of 1270\n' "${sent:-0}"
python3 -c 'import json, sys; print("fleet_range_search_modules_found: %d of 1000" % len(json.load(open(sys.argv[1]))))' "$E2E_TMP/range.json"
