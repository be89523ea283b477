#!/usr/bin/env bash
# The CLI's serial commands against simulated modules on pseudo-terminals: a Q2 read chain and
# write, a Q1 read and write, what the modules kept, refused input that sends nothing, a module that
# leaves the closing frame unanswered, a reply with a wrong checksum, a reply
# split by a pause, a busy port and one that does not exist.
source "$(dirname "$0")/lib.sh"

# start_sim NAME ARGS...: a simulated serial module whose port is $E2E_TMP/NAME; sets SIM_PID.
start_sim() {
  local name=$1; shift
  start_bg "$E2E_TMP/$name.log" "$SIM" serial --link "$E2E_TMP/$name" "$@"
  SIM_PID=$BG_PID
  wait_for_line "$E2E_TMP/$name.log" '^sim: serial port '
  grep -q "^sim: serial port $E2E_TMP/$name\$" "$E2E_TMP/$name.log" || fail "the simulator names another port"
}
stop_sim() {
  local name=$1
  kill "$SIM_PID"; wait "$SIM_PID" 2>/dev/null || true
  grep -q '^sim: stopped$' "$E2E_TMP/$name.log" || fail "$name did not stop cleanly"
  [ ! -e "$E2E_TMP/$name" ] && [ ! -L "$E2E_TMP/$name" ] || fail "$name left its link behind"
}
cli() { "$CLI" "$@"; }

# The port list and the command line.
cli serial ports > /dev/null || fail "serial ports"
set +e
cli serial read "$E2E_TMP/no-such-tty" > /dev/null 2> "$E2E_TMP/none.err"; rc1=$?
cli serial read "$E2E_TMP/no-such-tty" --model q4 > /dev/null 2>&1; rc2=$?
cli serial read "$E2E_TMP/no-such-tty" --baud fast > /dev/null 2>&1; rc3=$?
set -e
[ "$rc1" = 1 ] && [ "$rc2" = 2 ] && [ "$rc3" = 2 ] || fail "missing port / bad model / bad baud gave $rc1/$rc2/$rc3"
grep -q 'there is no serial port' "$E2E_TMP/none.err" || fail "missing port message"

# ---- Q2: the read chain, the records under the keys of 'read'
start_sim q2 --model q2
cli --json serial read "$E2E_TMP/q2" > "$E2E_TMP/q2.json" 2> "$E2E_TMP/q2.err" ||
  { cat "$E2E_TMP/q2.err"; fail "q2 read"; }
python3 - "$E2E_TMP/q2.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
assert set(r) == {"base", "port", "cloud", "heartReg", "httpd", "modbus", "modbusPack", "modbusNew"}, r.keys()
assert r["base"]["ModName"] == "Serial-Q2" and r["base"]["UserMAC"] == "00 1A 2B 3C 4D 5E", r["base"]
assert r["port"]["LocalPort"] == 20108 and r["port"]["Baudrate"] == 115200, r["port"]
assert r["cloud"] == {"DeviceId": "00000000000000000001", "CommCode": "12345678"}, r["cloud"]
assert r["heartReg"]["HeartTime"] == 30 and r["heartReg"]["RegData"] == "reg1", r["heartReg"]
assert r["httpd"] is None
PY
grep -q 'heard 2 byte(s): 55 C1' "$E2E_TMP/q2.log" || fail "the tool did not ask for the second reply"
grep -q '^Serial is Close' "$E2E_TMP/q2.err" || fail "the session did not close"

# A field the serial line does not carry, and values the module's bytes cannot carry: the page's
# checks refuse them with the window's message, and nothing is sent.
set +e
cli serial write "$E2E_TMP/q2" HeartTime=5 > /dev/null 2> "$E2E_TMP/q2bad.err"; rc1=$?
cli serial write "$E2E_TMP/q2" StaticIP=10.0.0.x > /dev/null 2> "$E2E_TMP/q2bad2.err"; rc2=$?
cli serial write "$E2E_TMP/q2" LocalPort=99999 > /dev/null 2> "$E2E_TMP/q2bad3.err"; rc3=$?
set -e
[ "$rc1" = 2 ] && [ "$rc2" = 1 ] && [ "$rc3" = 1 ] || fail "refused q2 writes gave $rc1/$rc2/$rc3"
grep -q 'not carried over the serial line' "$E2E_TMP/q2bad.err" || fail "network-only field message"
grep -q -x 'bexo-z0-cli: ModuleStaticIP is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!' \
  "$E2E_TMP/q2bad2.err" || fail "q2 address message: $(cat "$E2E_TMP/q2bad2.err")"
grep -q -x 'bexo-z0-cli: Local Port is out of range, please enter a number from 0 to 65535!' "$E2E_TMP/q2bad3.err" ||
  fail "q2 port message: $(cat "$E2E_TMP/q2bad3.err")"
grep -q 'wrote' "$E2E_TMP/q2.log" && fail "a refused write reached the module"

# The write: base, port and closing frame acknowledged; only the owned bytes change.
cli serial write "$E2E_TMP/q2" ModName=Serial-A LocalPort=6002 Parity=EVEN > "$E2E_TMP/q2w.out" 2> "$E2E_TMP/q2w.err" ||
  { cat "$E2E_TMP/q2w.out" "$E2E_TMP/q2w.err"; fail "q2 write"; }
[ "$(cat "$E2E_TMP/q2w.out")" = "2 of 2 blocks acknowledged, and the closing frame" ] || fail "q2 acknowledgements: $(cat "$E2E_TMP/q2w.out")"
[ "$(grep -c '^setup success' "$E2E_TMP/q2w.err")" = 3 ] || fail "one 'setup success' per acknowledgement"
grep -q 'write finished, settings kept' "$E2E_TMP/q2.log" || fail "no closing frame"
python3 "$(dirname "$0")/check_written_blocks.py" "$E2E_TMP/q2.log" Serial-A 6002
cli --json serial read "$E2E_TMP/q2" 2>/dev/null | python3 -c 'import json,sys; r=json.load(sys.stdin); assert r["base"]["ModName"]=="Serial-A" and r["port"]["LocalPort"]==6002 and r["port"]["Parity"]==3, r'
stop_sim q2

# A module that takes the closing frame without answering it: both blocks acknowledged is success.
start_sim q2quiet --model q2 --silent-finish
cli serial write "$E2E_TMP/q2quiet" LocalPort=6003 > "$E2E_TMP/q2quiet.out" 2> "$E2E_TMP/q2quiet.err" ||
  { cat "$E2E_TMP/q2quiet.out" "$E2E_TMP/q2quiet.err"; fail "q2 write without an answer to the closing frame"; }
[ "$(cat "$E2E_TMP/q2quiet.out")" = "2 of 2 blocks acknowledged; the closing frame had no answer" ] ||
  fail "q2 result: $(cat "$E2E_TMP/q2quiet.out")"
grep -q 'write finished, settings kept' "$E2E_TMP/q2quiet.log" || fail "no closing frame sent"
stop_sim q2quiet

# ---- Q1: the page fields, under the names 'serial write' takes
start_sim q1 --model q1
cli --json serial read "$E2E_TMP/q1" --model q1 > "$E2E_TMP/q1.json" 2>/dev/null || fail "q1 read"
python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); assert r["WorkMode"]=="TCP Client" and r["DestPort"]=="8234" and r["ModulePort"]=="20108" and r["RS485"] is True and r["Baudrate"]=="115200", r' "$E2E_TMP/q1.json"
while IFS='|' read -r value message; do
  set +e; cli serial write "$E2E_TMP/q1" --model q1 "$value" > /dev/null 2> "$E2E_TMP/q1bad.err"; rc=$?; set -e
  [ "$rc" = 1 ] || fail "q1 $value gave $rc"
  grep -q -x -F "bexo-z0-cli: $message" "$E2E_TMP/q1bad.err" || fail "q1 $value: $(cat "$E2E_TMP/q1bad.err")"
done <<VALUES
DestIP=192.168.0.x|Destination IP is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!
ModuleIP=999.1.1.1|Module IP is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!
DestPort=99999|Remote Port is out of range, please enter a number from 0 to 65535!
DeviceID=65536|Device ID is out of range, please enter a number from 0 to 65535!
VALUES
grep -q 'wrote' "$E2E_TMP/q1.log" && fail "a refused q1 write reached the module"

cli serial write "$E2E_TMP/q1" --model q1 DestPort=9000 DeviceID=258 "WorkMode=UDP Server" > "$E2E_TMP/q1w.out" 2>/dev/null ||
  fail "q1 write"
[ "$(cat "$E2E_TMP/q1w.out")" = "1 of 1 blocks acknowledged" ] || fail "q1 acknowledgement: $(cat "$E2E_TMP/q1w.out")"
python3 - "$E2E_TMP/q1.log" <<'PY'
import re, sys
m = re.search(r"wrote fields: ([0-9A-F ]+) was: ([0-9A-F ]+)", open(sys.argv[1]).read())
assert m
new, old = bytes.fromhex(m.group(1)), bytes.fromhex(m.group(2))
changed = [i for i in range(28) if new[i] != old[i]]
assert changed == [4, 5, 16, 21, 22], changed
assert new[4:6] == bytes([0x28, 0x23]) and new[16] == 2 and new[21:23] == bytes([1, 2])
PY
cli serial read "$E2E_TMP/q1" --model q1 > "$E2E_TMP/q1back.out" 2>/dev/null || fail "q1 read back"
grep -q '^DeviceID = 258$' "$E2E_TMP/q1back.out" || fail "q1 read back: ID"
# A Q1 module does not answer the Q2 read.
if cli serial read "$E2E_TMP/q1" > /dev/null 2> "$E2E_TMP/q1q2.err"; then fail "q2 read of a q1 module"; fi
grep -q 'no reply from a Q2 module' "$E2E_TMP/q1q2.err" || fail "no-reply message"
stop_sim q1

# A reply with a wrong checksum: its red line, and no claim that nothing came.
start_sim q1bad --model q1 --bad-checksum
if cli serial read "$E2E_TMP/q1bad" --model q1 > "$E2E_TMP/q1bad.out" 2> "$E2E_TMP/q1bad.err"; then fail "a bad reply was read"; fi
[ "$(grep -c '^Packet Header error or check sum is not correct$' "$E2E_TMP/q1bad.err")" = 1 ] || fail "red line: $(cat "$E2E_TMP/q1bad.err")"
grep -q 'no reply' "$E2E_TMP/q1bad.err" && fail "a refused reply reported as none: $(cat "$E2E_TMP/q1bad.err")"
[ -s "$E2E_TMP/q1bad.out" ] && fail "fields printed for a refused reply"
stop_sim q1bad

# ---- A module that breaks its reply in two: two chunks, neither recognised, no second request.
# (A longer pause than the default 100 ms, so that a loaded machine cannot join the pieces.)
start_sim split --model q2 --split-reply --split-pause 300
if cli --hex serial read "$E2E_TMP/split" > "$E2E_TMP/split.out" 2> "$E2E_TMP/split.err"; then fail "split read succeeded"; fi
grep -q '^\[ Length : 68 \]$' "$E2E_TMP/split.err" && grep -q '^\[ Length : 69 \]$' "$E2E_TMP/split.err" ||
  { cat "$E2E_TMP/split.err"; fail "the two pieces are not traced"; }
grep -q 'pieces of 68, 69' "$E2E_TMP/split.err" || fail "split message"
grep -q 'Read OK' "$E2E_TMP/split.err" && fail "a split reply was taken"
[ -s "$E2E_TMP/split.out" ] && fail "records printed for a split reply"
grep -q '55 C1' "$E2E_TMP/split.log" && fail "the tool asked for the second reply"

# A port held by another session is busy: the first read holds it for its whole wait, since no
# reply it recognises comes.
requests() { grep -c 'heard 2 byte(s): 55 BD' "$E2E_TMP/split.log" || true; }
before=$(requests)
"$CLI" serial read "$E2E_TMP/split" > /dev/null 2>&1 &
HOLD=$!
E2E_PIDS+=("$HOLD")
for ((i = 0; i < 100; i++)); do [ "$(requests)" -gt "$before" ] && break; sleep 0.1; done
[ "$(requests)" -gt "$before" ] || fail "the holding read never sent its request"
if cli serial read "$E2E_TMP/split" > /dev/null 2> "$E2E_TMP/busy.err"; then fail "busy port read succeeded"; fi
wait "$HOLD" || true
grep -q '^Serial is Occupied' "$E2E_TMP/busy.err" && grep -q 'could not be opened' "$E2E_TMP/busy.err" ||
  { cat "$E2E_TMP/busy.err"; fail "busy port message"; }
stop_sim split

# A port of the group dialout, opened by a user outside it: permission denied is not "occupied";
# the group and the command that adds the user to it are named. Nothing reaches the module.
start_sim denied --model q1
pts=$(readlink -f "$E2E_TMP/denied")
chown root:dialout "$pts" && chmod 0660 "$pts"
for cmd in "read $pts --model q1" "write $pts --model q1 ModulePort=2000"; do
  set +e
  # shellcheck disable=SC2086
  setpriv --reuid=65534 --regid=65534 --clear-groups "$CLI" serial $cmd > /dev/null 2> "$E2E_TMP/denied.err"; rc=$?
  set -e
  [ "$rc" = 1 ] || { cat "$E2E_TMP/denied.err"; fail "serial $cmd as a user outside dialout gave $rc"; }
  grep -qF "No permission to open the serial port $pts: it belongs to the group dialout, which this user is not in. Add the user to it with \"sudo adduser \$USER dialout\", then log in again." "$E2E_TMP/denied.err" ||
    { cat "$E2E_TMP/denied.err"; fail "permission message of serial $cmd"; }
  grep -q 'Occupied\|another program' "$E2E_TMP/denied.err" && { cat "$E2E_TMP/denied.err"; fail "a denied port called busy"; }
done
grep -q 'heard' "$E2E_TMP/denied.log" && fail "a denied user reached the module"
stop_sim denied
echo "serial e2e: ok"
