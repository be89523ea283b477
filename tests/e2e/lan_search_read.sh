#!/usr/bin/env bash
# The CLI against simulated modules across a veth pair: search, read, wrong password, restart,
# factory reset and export.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
make_peer 1

start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan \
  --module mac=001A2B3C4D5E,ip=10.77.1.7,name=Lab-Q2,version=4017 \
  --module mac=001A2B3C4D5F,ip=10.77.1.8,name=Lab-Q3,model=q3,version=2002 \
  --module mac=001A2B3C4D60,ip=10.77.1.9,name=Old-One,version=2001
wait_for_line "$E2E_TMP/sim.log" 'listening'

cli() { "$CLI" --interface 10.77.1.1 --wait 700 "$@"; }

# search: all three, with the model each one's port and version give.
cli --json search > "$E2E_TMP/search.json" 2> "$E2E_TMP/search.err"
python3 - "$E2E_TMP/search.json" <<'PY'
import json, sys
rows = json.load(open(sys.argv[1]))
got = sorted((r["mac"], r["model"], r["version"], r["name"], r["ip"], r["bindingIndex"]) for r in rows)
want = [("00 1A 2B 3C 4D 5E", 2, "4017", "Lab-Q2", "10.77.1.7", 0),
        ("00 1A 2B 3C 4D 5F", 36, "2002", "Lab-Q3", "10.77.1.8", 0),
        ("00 1A 2B 3C 4D 60", 0, "2001", "Old-One", "10.77.1.9", 0)]
assert got == want, got
PY
grep -q 'On-line Device NUM:3' "$E2E_TMP/search.err" || fail "device count line missing"

# read: the simulator's values, optional blocks included for the Q2.
cli --json read 00:1a:2b:3c:4d:5e > "$E2E_TMP/read.json" 2> "$E2E_TMP/read.err" || { cat "$E2E_TMP/read.err"; fail "read failed"; }
python3 - "$E2E_TMP/read.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
assert r["base"]["StaticIP"] == "10.77.1.7", r["base"]
assert r["base"]["ModName"] == "Lab-Q2"
assert r["base"]["UserMAC"] == "00 1A 2B 3C 4D 5E"
assert r["port"]["Baudrate"] == 115200 and r["port"]["LocalPort"] == 20108 and r["port"]["WorkMode"] == 3
assert r["cloud"]["DeviceId"] == "00000000000000000001"
assert r["heartReg"]["HeartData"] == "ping" and r["heartReg"]["HeartTime"] == 30
assert r["httpd"]["Url"] == "/report.php?id="
assert r["modbus"]["Length"] == 4 and r["modbus"]["WaitTime"] == "500"
assert r["modbusPack"]["Timeout"] == "1000" and r["modbusNew"]["Interval"] == "50"
PY

# A Q3 answers the read with its base and port blocks only.
cli --json read 001A2B3C4D5F > "$E2E_TMP/read3.json" 2>/dev/null || fail "Q3 read failed"
python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); assert r["base"]["StaticIP"]=="10.77.1.8" and r["cloud"] is None' "$E2E_TMP/read3.json"

# An unknown module is not read.
if cli read 001A2B3C4D60 > /dev/null 2> "$E2E_TMP/old.err"; then fail "read of an unknown module succeeded"; fi
grep -q 'only used for Z0 Series' "$E2E_TMP/old.err" || fail "incompatible line missing"

# Wrong password: reported, exit 1.
if cli --password wrong read 001A2B3C4D5E > /dev/null 2> "$E2E_TMP/pw.err"; then fail "read with a wrong password succeeded"; fi
grep -q 'UsrName or Password Error!' "$E2E_TMP/pw.err" || fail "password error not reported"
grep -q 'wrong user name or password' "$E2E_TMP/sim.log" || fail "simulator did not see the wrong password"

# Restart and factory reset are acknowledged; the answer is the result, shown once.
cli restart 001A2B3C4D5F > "$E2E_TMP/restart.out" 2> "$E2E_TMP/restart.err" || fail "restart failed"
[ "$(cat "$E2E_TMP/restart.out")" = " ACK." ] || fail "restart not acknowledged"
grep -q 'ACK' "$E2E_TMP/restart.err" && fail "the acknowledgement is shown twice"
[ "$(cli reset 001A2B3C4D5E 2>/dev/null)" = " ACK." ] || fail "reset not acknowledged"
if cli --password wrong restart 001A2B3C4D5F > "$E2E_TMP/restartpw.out" 2> "$E2E_TMP/restartpw.err"; then
  fail "restart with a wrong password succeeded"
fi
[ "$(cat "$E2E_TMP/restartpw.out")" = " UsrName or Password Error!" ] || fail "restart refusal: $(cat "$E2E_TMP/restartpw.out")"
grep -q 'Password Error' "$E2E_TMP/restartpw.err" && fail "the refusal is shown twice"
wait_for_line "$E2E_TMP/sim.log" '001A2B3C4D5F: restarting'
wait_for_line "$E2E_TMP/sim.log" '001A2B3C4D5E: factory settings restored'

# A bad MAC text is a usage error.
set +e; cli read 00-1A-ZZ > /dev/null 2>&1; rc=$?; set -e
[ "$rc" = 2 ] || fail "bad MAC gave exit $rc, not 2"

# Export writes the CSV and prints its path.
path=$(cli export "$E2E_TMP" 2> "$E2E_TMP/export.err")
grep -q -F "$path" "$E2E_TMP/export.err" && fail "the path is shown twice"
[ -f "$path" ] || fail "export path $path missing"
head -1 "$path" | grep -q $'^IP,Name,MAC,Ver\r$' || fail "export header wrong"
[ "$(wc -l < "$path")" = 4 ] || fail "export should have 4 lines"
echo "lan e2e: ok"
