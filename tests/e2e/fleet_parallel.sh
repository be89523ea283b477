#!/usr/bin/env bash
# Many simulated modules on addresses of their own behind one veth pair, written and restarted at
# once: each answer is told apart only by the address it comes from. Two modules that claim one IP
# are handled one after the other and say so; a module that falls silent mid-write fails alone.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
make_peer 162
add_peer_addresses 162 24
peer_modules_config "$E2E_TMP/modules.cfg"
cat >> "$E2E_TMP/modules.cfg" <<CFG
mac=001A2B3C4D71,ip=${PEER_ADDRESSES[0]},name=Twin
mac=001A2B3C4D72,ip=${PEER_ADDRESSES[5]},name=Quits,silent-after=3
CFG
# The module that quits takes the address of module 6, which then has none.
sed -i "s/^mac=02BE00000006,ip=[^,]*/mac=02BE00000006,ip=10.77.162.250/" "$E2E_TMP/modules.cfg"
in_peer ip addr add 10.77.162.250/32 dev veth-p162
start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan --quiet --config "$E2E_TMP/modules.cfg" --state "$E2E_TMP/state"
wait_for_line "$E2E_TMP/sim.log" 'listening'
cli() { "$CLI" --interface 10.77.162.1 --wait 500 "$@"; }

# --parallel takes a number of modules.
for bad in 0 1001 x; do
  set +e; cli restart --all --parallel "$bad" > /dev/null 2> "$E2E_TMP/bad.err"; rc=$?; set -e
  [ "$rc" = 2 ] && grep -q -- '--parallel needs a number of modules from 1 to 1000' "$E2E_TMP/bad.err" || fail "--parallel $bad: $rc"
done

# Every module is answered from its own address.
cli --hex search 2> "$E2E_TMP/search.err" > /dev/null
for a in "${PEER_ADDRESSES[@]:0:3}" 10.77.162.250; do
  grep -q -F "← [ $a : 1500 ]" "$E2E_TMP/search.err" || fail "no reply from $a"
done

set +e; cli --json write --all LocalPort=7100 Parity=ODD > "$E2E_TMP/write.json" 2> "$E2E_TMP/write.err"; rc=$?; set -e
[ "$rc" = 1 ] || fail "a write with a silent module exited $rc"
python3 - "$E2E_TMP/write.json" "$E2E_TMP/state" <<'PY'
import json, sys
rows = {r["mac"]: r for r in json.load(open(sys.argv[1]))}
assert len(rows) == 26, len(rows)
for mac, r in rows.items():
    if mac == "00 1A 2B 3C 4D 72":
        assert r["result"] == "no answer" and r["answer"] == "2 of 7 frames acknowledged", r
    else:
        assert r["result"] == "ok" and r["answer"] == "7 of 7 frames acknowledged", r
shared = [m for m, r in rows.items() if r["note"]]
assert sorted(shared) == ["00 1A 2B 3C 4D 71", "02 BE 00 00 00 01"], shared
assert "02 BE 00 00 00 01" in rows["00 1A 2B 3C 4D 71"]["note"], rows["00 1A 2B 3C 4D 71"]
# Each module holds its own settings and the two written fields: no reply went to another module.
for line in open(sys.argv[2]):
    mac, *blocks = line.split()
    b = {k: bytes.fromhex(v) for k, v in (x.split("=") for x in blocks)}
    ip = ".".join(str(x) for x in reversed(b["base"][9:13]))
    user_mac = b["base"][53:59].hex().upper()
    assert user_mac == mac, (mac, user_mac)
    port = b["port"]
    if mac == "001A2B3C4D72":
        continue
    assert port[12] | port[13] << 8 == 7100 and port[5] == 2, (mac, port.hex())
    spaced = " ".join(mac[i:i + 2] for i in range(0, 12, 2))
    assert rows[spaced]["ip"] == ip, (mac, ip, rows[spaced]["ip"])
PY

# The same with the table: the two on one IP noted under their rows.
set +e; cli restart --all --parallel 4 > "$E2E_TMP/restart.out" 2>/dev/null; rc=$?; set -e
[ "$rc" = 1 ] || fail "restart with a silent module exited $rc"
[ "$(grep -c -E ' ok +ACK\.$' "$E2E_TMP/restart.out")" = 25 ] || fail "25 acknowledged: $(cat "$E2E_TMP/restart.out")"
grep -q -E '^00 1A 2B 3C 4D 72 .* no answer ' "$E2E_TMP/restart.out" || fail "the silent module"
[ "$(grep -c '^  note: IP 10.77.162.10 is also claimed by' "$E2E_TMP/restart.out")" = 2 ] || fail "notes: $(cat "$E2E_TMP/restart.out")"
echo "fleet parallel e2e: ok"
