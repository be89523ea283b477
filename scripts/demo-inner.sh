#!/usr/bin/env bash
# The command-line demo's steps; runs inside the private namespace that demo-cli.sh made.
source "$(dirname "$0")/../tests/e2e/lib.sh"
e2e_require_private_netns
make_peer 1

say() { printf '\n\033[1m$ %s\033[0m\n' "$*"; }
run() { say "bexo-z0-cli $*"; "$CLI" "$@"; }

"$CLI" --version
start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan \
  --module mac=001A2B3C4D5E,ip=10.77.1.7,name=Workshop-Q2,version=4017 \
  --module mac=001A2B3C4D5F,ip=10.77.1.8,name=Line-2-Q2,version=4016 \
  --module mac=00A0C5000101,ip=10.77.1.20,name=Gate-Q3,model=q3,version=2002 \
  --module mac=00A0C5000102,ip=10.77.1.21,name=Old-Q2,version=2001
wait_for_line "$E2E_TMP/sim.log" 'listening'
echo "Simulated modules are running in a second namespace behind a veth pair (10.77.1.2)."

run --interface 10.77.1.1 search
run --interface 10.77.1.1 read 001A2B3C4D5E
run --interface 10.77.1.1 --json read 00A0C5000101
run --interface 10.77.1.1 write 001A2B3C4D5E --dry-run ModName=Workshop-A LocalPort=6001
run --interface 10.77.1.1 write 001A2B3C4D5E ModName=Workshop-A LocalPort=6001
say "bexo-z0-cli --interface 10.77.1.1 read 001A2B3C4D5E | grep -E 'ModName|LocalPort'"
"$CLI" --interface 10.77.1.1 read 001A2B3C4D5E 2>/dev/null | grep -E 'ModName|LocalPort'
run --interface 10.77.1.1 --lang zh restart 00A0C5000101
run --interface 10.77.1.1 export "$E2E_TMP"

start_bg "$E2E_TMP/serial-sim.log" "$SIM" serial --model q2 --link "$E2E_TMP/ttyBEXO"
wait_for_line "$E2E_TMP/serial-sim.log" '^sim: serial port '
echo
echo "A simulated Q2 module, configuration pin grounded, waits behind the pseudo-terminal $E2E_TMP/ttyBEXO."
run serial read "$E2E_TMP/ttyBEXO"
run serial write "$E2E_TMP/ttyBEXO" ModName=Bench-Q2 LocalPort=7001
say "bexo-z0-cli serial read $E2E_TMP/ttyBEXO | grep -E 'ModName|LocalPort'"
"$CLI" serial read "$E2E_TMP/ttyBEXO" 2>/dev/null | grep -E 'ModName|LocalPort'
start_bg "$E2E_TMP/serial-q1.log" "$SIM" serial --model q1 --link "$E2E_TMP/ttyQ1"
wait_for_line "$E2E_TMP/serial-q1.log" '^sim: serial port '
run serial read "$E2E_TMP/ttyQ1" --model q1
run serial write "$E2E_TMP/ttyQ1" --model q1 DestPort=9000 DeviceID=258

echo
echo "What the simulated LAN modules received:"
sed 's/^/  /' "$E2E_TMP/sim.log"
echo "What the simulated serial modules received:"
sed 's/^/  /' "$E2E_TMP/serial-sim.log" "$E2E_TMP/serial-q1.log"

bash "$(dirname "$0")/demo-upgrade.sh" "$BIN"
