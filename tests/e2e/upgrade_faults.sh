#!/usr/bin/env bash
# Upgrades that must not succeed, and how the CLI says so: wrong hardware, a silent module, a module
# that stops acknowledging, ports that cannot be bound, refusals before the start.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
stop() { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }
make_peer 61
HERE=10.77.61.1
MOD=10.77.61.2
MAC="02 00 00 00 61 02"

last_line() {
  local got
  got=$(tail -n 1 "$1")
  [ "$got" = "$2" ] || { echo "--- $1:" >&2; cat "$1" >&2; fail "last line is '$got', not '$2'"; }
}

# expect_exit CODE OUT CMD...: runs CMD with stdout to OUT and stderr to OUT.err.
expect_exit() {
  local want=$1 out=$2 rc=0
  shift 2
  "$@" > "$out" 2> "$out.err" || rc=$?
  [ "$rc" -eq "$want" ] || { cat "$out" "$out.err" >&2; fail "exit status $rc, not $want: $*"; }
}

# start_loader LOG ARGS...: the simulated boot loader in the peer namespace, ready.
start_loader() {
  local log=$1
  shift
  start_peer_bg "$log" "$SIM" bootloader --ip $MOD --mac "$MAC" "$@"
  LOADER=$BG_PID
  wait_for_line "$log" 'waiting for the trigger'
}

bin=$E2E_TMP/fw.bin
{ printf '\x51\x32\x00\x01'; head -c 3000 /dev/urandom; } > "$bin"
up() { "$CLI" --lang en upgrade --ip $MOD --mac "$MAC" --local-ip $HERE "$@"; }

# 1. Firmware for other hardware is refused after the BOOTP request, nothing served.
start_loader "$E2E_TMP/sim1.log" --expect "$bin" --wrong-id
expect_exit 1 "$E2E_TMP/cli1" up "$bin"
last_line "$E2E_TMP/cli1" ' Firmware does not match with hardware!'
sleep 0.3
grep -q 'read request sent' "$E2E_TMP/sim1.log" && fail "a mismatching loader got a BOOTP reply"
stop $LOADER

# 2. A module that never answers: the search time-out.
start_loader "$E2E_TMP/sim2.log" --silent
expect_exit 1 "$E2E_TMP/cli2" up --search-timeout 800 "$bin"
last_line "$E2E_TMP/cli2" ' Upgrade time out!'
grep -q 'trigger heard' "$E2E_TMP/sim2.log" || fail "the trigger did not reach the peer"
stop $LOADER

# 3. A module that stops acknowledging: block 1 and nine retransmissions of it, then the time-out.
start_loader "$E2E_TMP/sim3.log" --drop-acks 1000
expect_exit 1 "$E2E_TMP/cli3" up --block-timeout 100 "$bin"
last_line "$E2E_TMP/cli3" ' Upgrade time out!'
[ "$(grep -c 'acknowledgement of block 1 dropped' "$E2E_TMP/sim3.log")" -eq 10 ] ||
  fail "expected block 1 ten times: $(cat "$E2E_TMP/sim3.log")"
stop $LOADER

# 4. Ports held by a running attempt (no module answers it): the second one fails and says why.
"$CLI" --lang en upgrade --ip $MOD --mac "$MAC" --local-ip $HERE --search-timeout 4000 "$bin" > "$E2E_TMP/holder" 2>&1 &
holder=$!
E2E_PIDS+=("$holder")
wait_for_line "$E2E_TMP/holder" 'Searching device'
expect_exit 1 "$E2E_TMP/cli4" up "$bin"
last_line "$E2E_TMP/cli4" ' Upgrade failed!'
grep -q "cannot bind $HERE port 9: Address already in use (another program holds this port)" "$E2E_TMP/cli4.err" ||
  fail "no reason for the held port: $(cat "$E2E_TMP/cli4.err")"
stop $holder

# 5. Without root the low ports cannot be bound; the reason names the capability.
open=$(mktemp -d)
chmod 755 "$open"
cp "$bin" "$open/fw.bin"
chmod 644 "$open/fw.bin"
expect_exit 1 "$E2E_TMP/cli5" env HOME="$open" setpriv --reuid=65534 --regid=65534 --clear-groups \
  "$CLI" --lang en upgrade --ip $MOD --mac "$MAC" --local-ip $HERE "$open/fw.bin"
rm -rf "$open"
last_line "$E2E_TMP/cli5" ' Upgrade failed!'
grep -q 'Permission denied (ports below 1024 need root or the CAP_NET_BIND_SERVICE capability)' "$E2E_TMP/cli5.err" ||
  fail "no reason for the refused port: $(cat "$E2E_TMP/cli5.err")"

# 6. A file too short for an identifier is refused before anything is sent.
start_loader "$E2E_TMP/sim6.log"
printf '\x51\x32\x00' > "$E2E_TMP/short.bin"
expect_exit 1 "$E2E_TMP/cli6" up "$E2E_TMP/short.bin"
last_line "$E2E_TMP/cli6" ' Upgrade failed!'
grep -q "too few for the 4-byte hardware identifier" "$E2E_TMP/cli6.err" || fail "no reason for the short file: $(cat "$E2E_TMP/cli6.err" "$E2E_TMP/cli6")"
sleep 0.3
grep -q 'trigger heard' "$E2E_TMP/sim6.log" && fail "a trigger went out for a file without identifier"
stop $LOADER

# 7. Refusals before the start, and a bad command line.
expect_exit 1 "$E2E_TMP/cli7" "$CLI" --lang en upgrade --ip 10.77.62.2 --mac "$MAC" --local-ip $HERE "$bin"
last_line "$E2E_TMP/cli7" 'Please set the module and the computer on the same network segment, otherwise unable to upgrade.'
expect_exit 1 "$E2E_TMP/cli8" "$CLI" --lang en upgrade --ip $MOD --local-ip $HERE "$bin"
last_line "$E2E_TMP/cli8" ' Please Select Client first.'
expect_exit 1 "$E2E_TMP/cli9" "$CLI" --lang en upgrade --ip $MOD --mac "$MAC" --local-ip $HERE
last_line "$E2E_TMP/cli9" ' Please Select .bin file first.'
expect_exit 2 "$E2E_TMP/cli10" "$CLI" upgrade --ip $MOD --block-timeout soon "$bin"
grep -q 'block-timeout needs a number' "$E2E_TMP/cli10.err" || fail "no usage message"

echo "upgrade_faults: all passed"
