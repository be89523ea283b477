#!/usr/bin/env bash
# bench-upgrade.sh [BUILD_DIR]: serves a 4 MiB image to the simulated boot loader across a veth pair
# and prints the throughput, the time per block, the lock-step round trip across the same pair (bare
# blocking sockets, and through a Qt event loop on both ends) and what the upgrade costs per block
# beyond each. Runs are interleaved and the best of each is printed: the machine is shared, and a
# floor is best estimated by the run that other work disturbed least.
# scripts/bench.sh calls it with its release build, inside its namespace; alone, it builds
# build-bench and makes a namespace of its own.
source "$(dirname "$0")/lib-bench.sh"
RUNS=${BENCH_UPGRADE_RUNS:-7}
source tests/e2e/lib.sh "$B/src"
e2e_require_private_netns
make_peer 70
HERE=10.77.70.1
MOD=10.77.70.2
best() { sort -g | head -n 1; }

img=$E2E_TMP/fw.bin
{ printf '\x51\x32\x00\x01'; head -c 4194304 /dev/urandom; } > "$img"

# Our own handling, in process: an acknowledgement in, the next block read and sent to a null net.
"$B/bench/bench_upgrade" handler 8192

start_peer_bg "$E2E_TMP/echo.log" "$B/bench/bench_upgrade" echo 13634
start_peer_bg "$E2E_TMP/qecho.log" "$B/bench/bench_upgrade" qt-echo 13635
sleep 0.3

: > "$E2E_TMP/upgrade" ; : > "$E2E_TMP/rtt" ; : > "$E2E_TMP/qrtt"
for ((i = 0; i < RUNS; i++)); do
  # The whole upgrade; the loader times it from its read request to the final block.
  start_peer_bg "$E2E_TMP/sim$i.log" "$SIM" bootloader --ip $MOD --mac 020000007002 --expect "$img" --once --linger 100
  sim=$BG_PID
  wait_for_line "$E2E_TMP/sim$i.log" 'waiting for the trigger'
  "$CLI" --lang en upgrade --ip $MOD --mac 020000007002 --local-ip $HERE "$img" > "$E2E_TMP/cli$i.out" 2>&1 ||
    { cat "$E2E_TMP/cli$i.out" >&2; exit 1; }
  wait "$sim" || { cat "$E2E_TMP/sim$i.log" >&2; exit 1; }
  sed -nE 's/.*complete: ([0-9]+) blocks, [0-9]+ bytes in ([0-9.]+) ms.*/\1 \2/p' "$E2E_TMP/sim$i.log" >> "$E2E_TMP/upgrade"
  "$B/bench/bench_upgrade" rtt $MOD 13634 20000 | awk '{ print $2 }' >> "$E2E_TMP/rtt"
  "$B/bench/bench_upgrade" qt-rtt $MOD 13635 20000 | awk '{ print $2 }' >> "$E2E_TMP/qrtt"
done

blocks=$(awk 'NR == 1 { print $1 }' "$E2E_TMP/upgrade")
ms=$(awk '{ print $2 }' "$E2E_TMP/upgrade" | best)
rtt=$(best < "$E2E_TMP/rtt")
qrtt=$(best < "$E2E_TMP/qrtt")
awk -v ms="$ms" -v blocks="$blocks" -v rtt="$rtt" -v qrtt="$qrtt" -v runs="$RUNS" 'BEGIN {
  per = ms * 1000 / blocks
  printf "upgrade_lockstep_round_trip: %.2f us\n", rtt
  printf "upgrade_lockstep_round_trip_qt: %.2f us\n", qrtt
  printf "upgrade_4mib_throughput: %.2f MB/s\n", 4194304 / (ms * 1000)
  printf "upgrade_4mib_time_per_block: %.2f us\n", per
  printf "upgrade_cost_per_block_beyond_round_trip: %.2f us\n", per - rtt
  printf "upgrade_cost_per_block_beyond_qt_round_trip: %.2f us\n", per - qrtt
  printf "upgrade_runs: %d runs\n", runs; printf "upgrade_blocks_per_image: %d blocks\n", blocks
}'
