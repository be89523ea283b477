#!/usr/bin/env bash
# Modules behind a router: the broadcast stops at the router, a search by address (--range) goes
# through it. The modules found so are marked, carry no foreign-subnet warning, and are read,
# written, verified and restarted at their addresses; bad address lists are refused with exit 2.
#   here 10.80.1.1/24 (veth-h180) -- router 10.80.1.2 | 10.80.2.1 -- modules 10.80.2.2/24 and
#   their own addresses 10.80.2.20, 10.80.2.21
# The broadcast route below must be this test's alone while other tests run beside it: a namespace
# of its own, nested in the suite's.
if [ -z "${E2E_OWN_NETNS:-}" ]; then E2E_OWN_NETNS=1 exec unshare --net -- bash "$0" "$@"; fi
ip link set lo up
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns

new_ns() { unshare --net -- sleep 100000 & NS_PID=$!; E2E_PIDS+=("$NS_PID"); sleep 0.2; }
new_ns; ROUTER=$NS_PID
new_ns; FAR=$NS_PID
ip link add veth-h180 type veth peer name veth-ra netns "$ROUTER"
ip addr add 10.80.1.1/24 dev veth-h180
ip link set veth-h180 up
ip route add 255.255.255.255/32 dev veth-h180
ip route add 10.80.2.0/24 via 10.80.1.2
nsenter -t "$ROUTER" -n sh -c '
  ip link set lo up
  ip addr add 10.80.1.2/24 dev veth-ra && ip link set veth-ra up
  sysctl -q -w net.ipv4.ip_forward=1'
nsenter -t "$ROUTER" -n ip link add veth-rb type veth peer name veth-far netns "$FAR"
nsenter -t "$ROUTER" -n sh -c 'ip addr add 10.80.2.1/24 dev veth-rb && ip link set veth-rb up'
nsenter -t "$FAR" -n sh -c '
  ip link set lo up
  ip addr add 10.80.2.2/24 dev veth-far && ip link set veth-far up
  ip addr add 10.80.2.20/32 dev veth-far && ip addr add 10.80.2.21/32 dev veth-far
  ip route add default via 10.80.2.1
  ip route add 255.255.255.255/32 dev veth-far'

state=$E2E_TMP/state
nsenter -t "$FAR" -n -- "$SIM" lan --state "$state" \
  --module mac=001A2B3C4D90,ip=10.80.2.20,name=Far-Q2 \
  --module mac=001A2B3C4D91,ip=10.80.2.21,name=Far-Q3,model=q3,version=2002 > "$E2E_TMP/sim.log" 2>&1 &
E2E_PIDS+=("$!")
wait_for_line "$E2E_TMP/sim.log" 'listening'
cli() { "$CLI" --interface 10.80.1.1 --wait 600 "$@"; }

# The broadcast does not reach them.
set +e; cli search --expect 1 > "$E2E_TMP/bcast.out" 2> /dev/null; rc=$?; set -e
[ "$rc" = 1 ] && [ ! -s "$E2E_TMP/bcast.out" ] || fail "a broadcast found a module behind the router: $rc $(cat "$E2E_TMP/bcast.out")"

# A search by address does, every datagram to one address of the range, and marks them.
cli --hex --range 10.80.2.16/28 search > "$E2E_TMP/range.out" 2> "$E2E_TMP/range.err" ||
  { cat "$E2E_TMP/range.out" "$E2E_TMP/range.err"; fail "range search"; }
grep -q -E '^10\.80\.2\.20 +Far-Q2 +00 1A 2B 3C 4D 90 +4017  Q2  by address$' "$E2E_TMP/range.out" || fail "row: $(cat "$E2E_TMP/range.out")"
grep -q -E '^10\.80\.2\.21 +Far-Q3 +00 1A 2B 3C 4D 91 +2002  Q3  by address$' "$E2E_TMP/range.out" || fail "row: $(cat "$E2E_TMP/range.out")"
! grep -q 'warning:' "$E2E_TMP/range.out" || fail "a module reached through a router is not a subnet conflict"
[ "$(grep -c -F ' → [ 10.80.2.' "$E2E_TMP/range.err")" = 14 ] || fail "one search per address of the /28: $(grep -c -F ' → [ ' "$E2E_TMP/range.err")"
! grep -q -F '→ [ 255.255.255.255' "$E2E_TMP/range.err" || fail "a search by address broadcast"
grep -q -F 'Search sent to 14 of 14 addresses' "$E2E_TMP/range.err" || fail "the sent line: $(cat "$E2E_TMP/range.err")"
[ "$(grep -c -F 'Data has been sent' "$E2E_TMP/range.err")" = 0 ] || fail "one log line for all the searches"
cli --range 10.80.2.16/28 --json search > "$E2E_TMP/range.json" 2> /dev/null
python3 - "$E2E_TMP/range.json" <<'PY'
import json, sys
rows = {r["mac"]: r for r in json.load(open(sys.argv[1]))}
assert sorted(rows) == ["00 1A 2B 3C 4D 90", "00 1A 2B 3C 4D 91"], rows
for r in rows.values():
    assert r["byAddress"] is True and r["warnings"] == [], r
PY

# Read, a verified write and a restart, all at the modules' addresses.
cli --range 10.80.2.20-10.80.2.21 read 001A2B3C4D90 > "$E2E_TMP/read.out" 2>/dev/null || fail "read by address"
grep -q '^base.ModName = Far-Q2$' "$E2E_TMP/read.out" || fail "read: $(cat "$E2E_TMP/read.out")"
cli --range 10.80.2.20 write 001A2B3C4D90 LocalPort=7300 --verify --verify-timeout 5000 > "$E2E_TMP/write.out" 2> "$E2E_TMP/write.err" ||
  { cat "$E2E_TMP/write.out" "$E2E_TMP/write.err"; fail "verified write by address"; }
grep -q '^verified: 1 fields read back as written$' "$E2E_TMP/write.out" || fail "verify: $(cat "$E2E_TMP/write.out")"
python3 - "$state" <<'PY'
import sys
for line in open(sys.argv[1]):
    mac, *blocks = line.split()
    if mac == "001A2B3C4D90":
        port = bytes.fromhex(dict(b.split("=") for b in blocks)["port"])
        assert port[12] | port[13] << 8 == 7300, port.hex()
PY
[ "$(cli --range 10.80.2.21 restart 001A2B3C4D91 2>/dev/null)" = " ACK." ] || fail "restart of the Q3 module by address"
grep -q '001A2B3C4D91: restarting' "$E2E_TMP/sim.log" || fail "the Q3 module did not restart"

# Address lists are outside input: refused with exit 2 before anything is sent.
before=$(grep -c -E '^sim: [0-9.:]+ -> ' "$E2E_TMP/sim.log")
check_refused() {
  local want=$1; shift
  set +e; cli "$@" search > /dev/null 2> "$E2E_TMP/bad.err"; rc=$?; set -e
  [ "$rc" = 2 ] || fail "$* exited $rc"
  grep -q -F -- "$want" "$E2E_TMP/bad.err" || fail "$*: $(cat "$E2E_TMP/bad.err")"
}
check_refused '--range: "10.80.2.5/24" is not the start of a network; did you mean 10.80.2.0/24?' --range 10.80.2.5/24
check_refused '--range: 16777214 addresses: a search by address takes at most 4096.' --range 10.0.0.0/8
check_refused '--range: 4348 addresses: a search by address takes at most 4096.' --range 10.80.0.0/20 --range 10.81.0.0/24,10.82.0.1
check_refused '--range: "10.80.2.9-10.80.2.1": the range ends before it starts.' --range 10.80.2.9-10.80.2.1
check_refused '--range: "224.0.0.1" holds 224.0.0.1' --range 10.80.2.20,224.0.0.1
check_refused '--range: "10.80.2.x" is not an IPv4 address' --range 10.80.2.x
check_refused '--range: An address is missing' --range 10.80.2.20,
check_refused '--range: “10.80.2.5/24”不是网段的起始地址；您是否要输入10.80.2.0/24？' --lang zh --range 10.80.2.5/24
set +e; cli search --range > /dev/null 2> "$E2E_TMP/bad.err"; rc=$?; set -e
[ "$rc" = 2 ] && grep -q -F -- '--range needs a value' "$E2E_TMP/bad.err" || fail "--range without a value: $rc"
sleep 0.3
[ "$(grep -c -E '^sim: [0-9.:]+ -> ' "$E2E_TMP/sim.log")" = "$before" ] || fail "a refused list sent something"
echo "search by address e2e: ok"
