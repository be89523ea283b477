#!/usr/bin/env bash
# Acting on several simulated modules across a veth pair: batch restart and write with one module
# refusing the password, verified writes (a module that ignores writes, one that comes back late),
# the search's conflict warnings, and repeated searches that find modules dropping the first ones.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
make_peer 161

start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan \
  --module mac=001A2B3C4D11,ip=10.77.161.11,name=Good-1 \
  --module mac=001A2B3C4D12,ip=10.77.161.12,name=Good-2 \
  --module mac=001A2B3C4D13,ip=10.77.161.13,name=Locked,password=secret \
  --module mac=001A2B3C4D14,ip=10.77.161.11,name=Deaf,ignore-writes=1 \
  --module mac=001A2B3C4D15,ip=192.168.50.5,name=Slow,restart-delay=1500
wait_for_line "$E2E_TMP/sim.log" 'listening'
SIM_PID=$BG_PID
cli() { "$CLI" --interface 10.77.161.1 --wait 700 "$@"; }

# Conflicts: two MACs on one IP, and a module outside the interface's subnet; in text and JSON.
cli search > "$E2E_TMP/search.out" 2>/dev/null || fail "search"
grep -q -x '  warning: IP 10.77.161.11 is also answered by 00 1A 2B 3C 4D 14' "$E2E_TMP/search.out" ||
  fail "duplicate-IP warning: $(cat "$E2E_TMP/search.out")"
grep -q -x '  warning: IP 192.168.50.5 is outside the subnet of the interface it answered on (10.77.161.1/24): its web page and a firmware upgrade cannot reach it' \
  "$E2E_TMP/search.out" || fail "subnet warning: $(cat "$E2E_TMP/search.out")"
[ "$(grep -c warning "$E2E_TMP/search.out")" = 3 ] || fail "three warnings"
cli --json search 2>/dev/null | python3 -c '
import json, sys
rows = {r["mac"]: r["warnings"] for r in json.load(sys.stdin)}
assert [(w["kind"], w["macs"]) for w in rows["00 1A 2B 3C 4D 11"]] == [("duplicate-ip", ["00 1A 2B 3C 4D 14"])], rows
assert [(w["kind"], w["macs"]) for w in rows["00 1A 2B 3C 4D 14"]] == [("duplicate-ip", ["00 1A 2B 3C 4D 11"])], rows
assert [w["kind"] for w in rows["00 1A 2B 3C 4D 15"]] == ["foreign-subnet"], rows
assert rows["00 1A 2B 3C 4D 12"] == [] and rows["00 1A 2B 3C 4D 13"] == [], rows
' || fail "search JSON warnings"

# A batch restart with one module refusing the password: reported, the others acknowledged, exit 1.
set +e; cli restart 001A2B3C4D11 001A2B3C4D13 001A2B3C4D12 > "$E2E_TMP/restart.out" 2>/dev/null; rc=$?; set -e
[ "$rc" = 1 ] || fail "batch restart with a refusal exited $rc"
diff -u - "$E2E_TMP/restart.out" <<'EOF' || fail "restart table"
MODULE             IP               RESULT       ANSWER
00 1A 2B 3C 4D 11  10.77.161.11     ok           ACK.
00 1A 2B 3C 4D 13  10.77.161.13     refused      UsrName or Password Error!
00 1A 2B 3C 4D 12  10.77.161.12     ok           ACK.
EOF
wait_for_line "$E2E_TMP/sim.log" '001A2B3C4D11: restarting'
wait_for_line "$E2E_TMP/sim.log" '001A2B3C4D12: restarting'
grep -q '001A2B3C4D13: restarting' "$E2E_TMP/sim.log" && fail "the locked module restarted"
# Every module acknowledging: exit 0; a MAC nobody has: not found, exit 1.
cli --json reset 001A2B3C4D11 001A2B3C4D12 > "$E2E_TMP/reset.json" 2>/dev/null || fail "batch reset"
python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); assert [(x["result"], x["answer"]) for x in r]==[("ok","ACK.")]*2, r' "$E2E_TMP/reset.json"
set +e; cli --json restart 001A2B3C4D12 001A2B3C4D99 > "$E2E_TMP/missing.json" 2>/dev/null; rc=$?; set -e
[ "$rc" = 1 ] || fail "a missing module gave $rc"
python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); assert [x["result"] for x in r]==["ok","not found"] and r[1]["mac"]=="00 1A 2B 3C 4D 99", r' "$E2E_TMP/missing.json"

# A batch write: the good modules are written and verified, the locked one reported; exit 1.
set +e
cli --json write 001A2B3C4D11 001A2B3C4D13 001A2B3C4D12 --verify --verify-timeout 3000 LocalPort=7001 Parity=ODD \
  > "$E2E_TMP/write.json" 2> "$E2E_TMP/write.err"; rc=$?
set -e
[ "$rc" = 1 ] || fail "batch write with a refusal exited $rc"
python3 - "$E2E_TMP/write.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
assert [x["mac"] for x in r] == ["00 1A 2B 3C 4D 11", "00 1A 2B 3C 4D 13", "00 1A 2B 3C 4D 12"], r
for x in (r[0], r[2]):
    assert x["result"] == "ok", x
    assert x["answer"] == "7 of 7 frames acknowledged; 2 fields read back as written", x
    assert x["mismatches"] == [] and x["skipped"] == [], x
assert r[1]["result"] == "refused" and r[1]["answer"] == "UsrName or Password Error!", r[1]
PY
cli --json read 001A2B3C4D12 2>/dev/null | python3 -c 'import json,sys; r=json.load(sys.stdin); assert r["port"]["LocalPort"]==7001 and r["port"]["Parity"]==2, r["port"]'

# StaticIP for several modules is refused before anything is sent.
set +e; cli write 001A2B3C4D11 001A2B3C4D12 StaticIP=10.77.161.50 > /dev/null 2> "$E2E_TMP/ip.err"; rc=$?; set -e
[ "$rc" = 2 ] && grep -q 'StaticIP would give all 2 modules the same address' "$E2E_TMP/ip.err" || fail "shared StaticIP: $rc"

# --verify catches a module that acknowledges every block but keeps its settings.
set +e
cli write 001A2B3C4D14 --verify --verify-timeout 3000 LocalPort=7002 ModName=Ghost > "$E2E_TMP/deaf.out" 2>/dev/null; rc=$?
set -e
[ "$rc" = 1 ] || fail "a write that did not take exited $rc"
diff -u - "$E2E_TMP/deaf.out" <<'EOF' || fail "verify output"
7 of 7 frames acknowledged
mismatch: ModName: wrote "Ghost", module has "Deaf"
mismatch: LocalPort: wrote "7002", module has "20108"
verify failed: 2 of 2 fields differ after the restart: ModName, LocalPort
EOF
grep -q '001A2B3C4D14: ignored base block (acknowledged)' "$E2E_TMP/sim.log" || fail "the module did not ignore the write"

# A module that is silent for 1.5 s after its restart: a short wait reports it, a long one verifies.
set +e; cli --json write 001A2B3C4D15 --verify --verify-timeout 300 LocalPort=7003 > "$E2E_TMP/slow1.json" 2>/dev/null; rc=$?; set -e
[ "$rc" = 1 ] || fail "an unverified write exited $rc"
python3 -c 'import json,sys; [r]=json.load(open(sys.argv[1])); assert r["result"]=="not back" and r["answer"]=="no answer to a search within 300 ms after the restart", r' "$E2E_TMP/slow1.json"
sleep 1.5
cli --repeat 3 write 001A2B3C4D15 --verify --verify-timeout 5000 LocalPort=7004 > "$E2E_TMP/slow2.out" 2>/dev/null || fail "late module not verified"
[ "$(tail -1 "$E2E_TMP/slow2.out")" = "verified: 1 fields read back as written" ] || fail "$(cat "$E2E_TMP/slow2.out")"
kill "$SIM_PID"; wait "$SIM_PID" 2>/dev/null || true

# Modules that drop the first searches: one broadcast misses them, --repeat finds them and stops
# as soon as --expect modules answered.
shy() {
  start_peer_bg "$E2E_TMP/$1.log" "$SIM" lan \
    --module mac=001A2B3C4D21,ip=10.77.161.21,name=Shy-1,drop-searches=1 \
    --module mac=001A2B3C4D22,ip=10.77.161.22,name=Shy-2,drop-searches=2 \
    --module mac=001A2B3C4D23,ip=10.77.161.23,name=Bold
  wait_for_line "$E2E_TMP/$1.log" 'listening'
}
searches() { grep -c -E ' -> :1500 4 bytes$' "$E2E_TMP/$1.log" || true; }
shy shy1
[ "$(cli search 2>/dev/null | grep -c '^10\.77')" = 1 ] || fail "one broadcast should find only the bold module"
kill "$BG_PID"; wait "$BG_PID" 2>/dev/null || true
shy shy2
cli --json search --repeat 5 --expect 3 > "$E2E_TMP/repeat.json" 2>/dev/null || fail "repeat search"
python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); assert sorted(x["name"] for x in r)==["Bold","Shy-1","Shy-2"], r' "$E2E_TMP/repeat.json"
[ "$(searches shy2)" = 3 ] || fail "stops once three answered: $(searches shy2) searches"
set +e; cli --repeat 2 search --expect 4 > /dev/null 2> "$E2E_TMP/expect.err"; rc=$?; set -e
[ "$rc" = 1 ] && grep -q 'bexo-z0-cli: 3 of 4 modules answered' "$E2E_TMP/expect.err" || fail "expect not met: $rc"
[ "$(searches shy2)" = 5 ] || fail "two more rounds: $(searches shy2)"
kill "$BG_PID"; wait "$BG_PID" 2>/dev/null || true
# Commands aimed at a module repeat the search until it answers.
shy shy3
cli --repeat 3 restart 001A2B3C4D22 > "$E2E_TMP/shy.out" 2>/dev/null || fail "repeat for a MAC"
[ "$(cat "$E2E_TMP/shy.out")" = " ACK." ] || fail "restart of the shy module: $(cat "$E2E_TMP/shy.out")"
echo "fleet batch e2e: ok"
