#!/usr/bin/env bash
# Profiles against simulated Q2 modules across a veth pair: a profile saved from one module and
# applied to three changes exactly the profile's fields in each module's blocks and leaves their
# identities alone; an older module takes what it has and names what it skipped; refused files
# (truncated, foreign, wrong version, unknown field, hostile sizes) send nothing at all.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
make_peer 160

state=$E2E_TMP/state
start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan --state "$state" \
  --module mac=001A2B3C4D01,ip=10.77.160.11,name=Source \
  --module mac=001A2B3C4D02,ip=10.77.160.12,name=Pump-1 \
  --module mac=001A2B3C4D03,ip=10.77.160.13,name=Pump-2 \
  --module mac=001A2B3C4D04,ip=10.77.160.14,name=Pump-3 \
  --module mac=001A2B3C4D05,ip=10.77.160.15,name=Old-4016,version=4016
wait_for_line "$E2E_TMP/sim.log" 'listening'
cli() { "$CLI" --interface 10.77.160.1 --wait 600 "$@"; }
datagrams() { grep -c -E '^sim: [0-9.:]+ -> :[0-9]+ [0-9]+ bytes' "$E2E_TMP/sim.log" || true; }

# The source module gets settings of its own, then its profile is saved.
cli write 001A2B3C4D01 LocalPort=6001 Parity=EVEN PackLen=512 HeartTime=45 ModbusWaitTime=900 ClearBuffer=1 \
  > /dev/null 2>&1 || fail "preparing the source"
wait_for_line "$E2E_TMP/sim.log" '001A2B3C4D01: restarting'
cli profile save 001A2B3C4D01 "$E2E_TMP/p.json" > "$E2E_TMP/save.out" 2> "$E2E_TMP/save.err" ||
  { cat "$E2E_TMP/save.out" "$E2E_TMP/save.err"; fail "profile save"; }
grep -q -E '^saved [0-9]+ fields of 00 1A 2B 3C 4D 01 to /' "$E2E_TMP/save.out" || fail "save line: $(cat "$E2E_TMP/save.out")"
grep -q -F '  left out: StaticIP (identity of the module; --with-identity keeps it)' "$E2E_TMP/save.out" ||
  fail "identity not named as left out"
python3 - "$E2E_TMP/p.json" <<'PY'
import json, sys
p = json.load(open(sys.argv[1]))
assert p["format"] == "bexo-z0-profile" and p["formatVersion"] == 1 and p["model"] == "Q2", p
assert p["firmware"] == 4017 and p["savedFrom"] == "00 1A 2B 3C 4D 01"
f = p["fields"]
for gone in ("StaticIP", "ModName", "UserName", "Password", "HttpdUrl"):
    assert gone not in f, gone
assert f["LocalPort"] == 6001 and f["Parity"] == "EVEN" and f["ClearBuffer"] is True and f["HeartTime"] == 45, f
assert f["ModbusWaitTime"] == 900 and f["PackLen"] == 512 and f["WorkMode"] == "TCP Server"
PY

# A dry run reads but writes nothing.
cp "$state" "$E2E_TMP/before"
cli profile apply "$E2E_TMP/p.json" 001A2B3C4D02 --dry-run > "$E2E_TMP/dry.out" 2>/dev/null || fail "dry run"
grep -q -E '^00 1A 2B 3C 4D 02  10\.77\.160\.12 +dry run ' "$E2E_TMP/dry.out" || fail "dry run row: $(cat "$E2E_TMP/dry.out")"
grep -q -x '  change: LocalPort: 20108 -> 6001' "$E2E_TMP/dry.out" || fail "dry run change line"
grep -q 'change: WorkMode' "$E2E_TMP/dry.out" && fail "unchanged fields listed as changes"
cmp -s "$state" "$E2E_TMP/before" || fail "the dry run changed a module"

# Applied to three modules: one result row each, all ok.
cli profile apply "$E2E_TMP/p.json" 001A2B3C4D02 001A2B3C4D03 001A2B3C4D04 > "$E2E_TMP/apply.out" 2> "$E2E_TMP/apply.err" ||
  { cat "$E2E_TMP/apply.out"; fail "apply to three modules"; }
[ "$(head -1 "$E2E_TMP/apply.out")" = "MODULE             IP               RESULT       ANSWER" ] || fail "table header"
[ "$(grep -c -E '^00 1A 2B 3C 4D 0[234]  10\.77\.160\.1[234] +ok +7 of 7 frames acknowledged$' "$E2E_TMP/apply.out")" = 3 ] ||
  fail "three ok rows: $(cat "$E2E_TMP/apply.out")"
for m in 02 03 04; do wait_for_line "$E2E_TMP/sim.log" "001A2B3C4D$m: restarting"; done
cp "$state" "$E2E_TMP/after"

# Each target now holds the source's settings; exactly the profile's differing fields changed
# (ClearBuffer, Parity, LocalPort, PackLen, HeartTime, ModbusWaitTime), identities stayed.
python3 - "$E2E_TMP/before" "$E2E_TMP/after" <<'PY'
import sys
def load(path):
    out = {}
    for line in open(path):
        mac, *blocks = line.split()
        out[mac] = {k: bytes.fromhex(v) for k, v in (b.split("=") for b in blocks)}
    return out
before, after = load(sys.argv[1]), load(sys.argv[2])
source = after["001A2B3C4D01"]
identity = set(range(9, 13)) | set(range(21, 37)) | set(range(53, 59))  # StaticIP, ModName, UserMAC
want = {"base": {3}, "port": {5, 12, 13, 60}, "heart": {1}, "modbus": {2, 3}}
for mac in ("001A2B3C4D02", "001A2B3C4D03", "001A2B3C4D04"):
    b, a = before[mac], after[mac]
    for block in a:
        diff = {i for i in range(len(a[block])) if a[block][i] != b[block][i]}
        assert diff == want.get(block, set()), (mac, block, sorted(diff))
        if block == "base":
            assert all(a[block][i] == b[block][i] for i in identity), (mac, "identity changed")
            same = [i for i in range(len(a[block])) if i not in identity]
            assert all(a[block][i] == source[block][i] for i in same), (mac, "base differs from the source")
        else:
            assert a[block] == source[block], (mac, block, "differs from the source")
for mac in ("001A2B3C4D01", "001A2B3C4D05"):
    assert after[mac] == before[mac], (mac, "a module not named was changed")
PY

# An older module takes what it has and names the rest.
cli --json profile apply "$E2E_TMP/p.json" 001A2B3C4D05 > "$E2E_TMP/old.json" 2>/dev/null || fail "apply to 4016"
python3 - "$E2E_TMP/old.json" <<'PY'
import json, sys
[r] = json.load(open(sys.argv[1]))
assert r["result"] == "ok" and r["answer"] == "3 of 3 frames acknowledged", r
skipped = {s["field"]: s["reason"] for s in r["skipped"]}
assert skipped["HeartTime"] == "firmware 4016 has no heartbeat/register block", skipped
assert skipped["ModbusWaitTime"] == "the module sent no Modbus block", skipped
assert "LocalPort" not in skipped
assert r["note"] == "profile saved from firmware 4017; this module has 4016", r
assert {"field": "LocalPort", "old": "20108", "new": "6001"} in r["changes"], r["changes"]
PY

# StaticIP for several modules is refused before anything is sent.
cli profile save 001A2B3C4D01 "$E2E_TMP/ident.json" --with-identity > /dev/null 2>&1 || fail "save with identity"
grep -q '"StaticIP": "10.77.160.11"' "$E2E_TMP/ident.json" || fail "identity not kept"
sent=$(datagrams)
set +e; cli profile apply "$E2E_TMP/ident.json" 001A2B3C4D02 001A2B3C4D03 > /dev/null 2> "$E2E_TMP/ident.err"; rc=$?; set -e
[ "$rc" = 2 ] || fail "StaticIP to two modules gave $rc"
grep -q 'StaticIP would give all 2 modules the same address; nothing was sent' "$E2E_TMP/ident.err" || fail "$(cat "$E2E_TMP/ident.err")"
[ "$(datagrams)" = "$sent" ] || fail "something was sent"

# Refused files: each named, exit 2, and the simulator receives nothing at all.
python3 - "$E2E_TMP/p.json" "$E2E_TMP" <<'PY'
import json, sys
good = open(sys.argv[1]).read()
d = sys.argv[2]
def put(name, text): open(f"{d}/{name}", "w").write(text)
put("truncated.json", good[: len(good) // 2])
p = json.loads(good); p["formatVersion"] = 2; put("version.json", json.dumps(p))
p = json.loads(good); p["fields"]["Colour"] = "red"; put("unknown.json", json.dumps(p))
put("foreign.json", json.dumps({"base": {"ModName": "x"}, "port": {"LocalPort": 1}}))
put("huge.json", good + " " * (70 * 1024))
put("deep.json", '{"format": "bexo-z0-profile", "fields": ' + "[" * 30000 + "]" * 30000 + "}")
p = json.loads(good); p["fields"]["RemoteIP"] = "x" * 60000; put("giant.json", json.dumps(p))
p = json.loads(good); p["fields"]["LocalPort"] = 65536; put("port.json", json.dumps(p))
p = json.loads(good); p["fields"]["SubnetMask"] = "255.255.0"; put("mask.json", json.dumps(p))
PY
check_refused() { # FILE REASON
  local out
  set +e; out=$(cli profile apply "$E2E_TMP/$1" --all 2>&1 >/dev/null); local rc=$?; set -e
  [ "$rc" = 2 ] || fail "$1: exit $rc"
  grep -q -F "refused: $2" <<< "$out" || fail "$1: $out"
  grep -q -F 'nothing was sent' <<< "$out" || fail "$1: $out"
}
sent=$(datagrams)
check_refused truncated.json 'not valid JSON'
check_refused version.json 'profile format version 2 is not supported; this program reads version 1'
check_refused unknown.json 'unknown field "Colour"'
check_refused foreign.json 'not a Bexo-Z0 profile ("format" is not "bexo-z0-profile")'
check_refused huge.json 'the file is larger than 65536 bytes'
check_refused deep.json 'nested too deeply'
check_refused giant.json 'RemoteIP takes at most 30 characters'
# Values the modules' bytes cannot carry: the rules of the page's checks.
check_refused port.json 'LocalPort must be a whole number from 0 to 65535'
check_refused mask.json 'SubnetMask is not an IPv4 address: "255.255.0"'
set +e; cli profile apply "$E2E_TMP/none.json" --all > /dev/null 2>&1; rc=$?; set -e
[ "$rc" = 2 ] || fail "a missing file gave $rc"
sleep 0.3
[ "$(datagrams)" = "$sent" ] || fail "a refused profile sent datagrams"
echo "profiles e2e: ok"
