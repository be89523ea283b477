#!/usr/bin/env bash
# The CLI's write against a simulated Q2 across a veth pair: exactly the bytes of the changed fields
# change in the module's blocks, a dry run sends nothing, and refused frames are each reported once,
# checksum errors with the checksum the module expected.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
make_peer 2

start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan --module mac=001A2B3C4D5E,ip=10.77.2.7,name=Lab-Q2,version=4017
wait_for_line "$E2E_TMP/sim.log" 'listening'
cli() { "$CLI" --interface 10.77.2.1 --wait 800 "$@"; }

# Bad names and values are refused before anything is sent.
set +e
cli write 001A2B3C4D5E Colour=red > /dev/null 2> "$E2E_TMP/bad.err"; rc1=$?
cli write 001A2B3C4D5E Parity=PURPLE > /dev/null 2> "$E2E_TMP/bad2.err"; rc2=$?
set -e
[ "$rc1" = 2 ] && [ "$rc2" = 2 ] || fail "bad fields gave $rc1/$rc2"
grep -q 'NONE' "$E2E_TMP/bad2.err" || fail "allowed parity values not named"
grep -q 'wrote' "$E2E_TMP/sim.log" && fail "a refused write reached the module"

# An address or number the module's bytes cannot carry is refused by the page's checks, with the
# window's message; the module receives nothing (exit 1, result "invalid").
ip_msg='is not a valid IPv4 address, please enter four numbers from 0 to 255 separated by dots!'
port_msg='is out of range, please enter a number from 0 to 65535!'
while IFS='|' read -r value message; do
  set +e; cli write 001A2B3C4D5E "$value" > "$E2E_TMP/range.out" 2> "$E2E_TMP/range.err"; rc=$?; set -e
  [ "$rc" = 1 ] || fail "$value gave $rc"
  grep -q -x -F "bexo-z0-cli: $message" "$E2E_TMP/range.err" || fail "$value: $(cat "$E2E_TMP/range.err")"
  [ -s "$E2E_TMP/range.out" ] && fail "$value printed a result: $(cat "$E2E_TMP/range.out")"
done <<VALUES
StaticIP=999.1.1.1|ModuleStaticIP $ip_msg
GatewayIP=10.77.5|Gateway $ip_msg
LocalPort=99999|Local Port $port_msg
HeartTime=65536|Heartbeat Time(s) $port_msg
ShortConnTime=300|Short Connection time is out of range, please enter a number from 0 to 255!
VALUES
set +e; cli --json --lang zh write 001A2B3C4D5E LocalPort=65536 > "$E2E_TMP/range.json" 2>/dev/null; rc=$?; set -e
[ "$rc" = 1 ] || fail "the table of a refused write gave $rc"
python3 -c 'import json,sys; [r]=json.load(open(sys.argv[1])); assert r["result"]=="invalid" and r["answer"]=="本地端口超出范围，请输入0到65535之间的数字！", r' "$E2E_TMP/range.json"
grep -q 'wrote' "$E2E_TMP/sim.log" && fail "a refused value reached the module"

# A dry run prints the changes and the frames and sends no block.
cli write 001A2B3C4D5E --dry-run ModName=Renamed LocalPort=6001 > "$E2E_TMP/dry.out" 2>/dev/null
grep -q '^ModName: Lab-Q2 -> Renamed$' "$E2E_TMP/dry.out" || fail "dry run change line"
grep -q '^LocalPort: 20108 -> 6001$' "$E2E_TMP/dry.out" || fail "dry run change line"
[ "$(grep -c '^frame ' "$E2E_TMP/dry.out")" = 7 ] || fail "dry run should list 7 frames"
grep -q 'wrote' "$E2E_TMP/sim.log" && fail "the dry run sent a block"

# The real write: every frame acknowledged, and only the owned bytes change.
cli write 001A2B3C4D5E ModName=Renamed LocalPort=6001 Parity=EVEN > "$E2E_TMP/write.out" 2> "$E2E_TMP/write.err" ||
  { cat "$E2E_TMP/write.out" "$E2E_TMP/write.err"; fail "write failed"; }
[ "$(cat "$E2E_TMP/write.out")" = "7 of 7 frames acknowledged" ] || fail "write result: $(cat "$E2E_TMP/write.out")"
# Each answer once: in the log, not again on stdout.
[ "$(grep -c '^ ACK\.$' "$E2E_TMP/write.err")" = 7 ] || fail "one ACK line per frame in the log: $(cat "$E2E_TMP/write.err")"
wait_for_line "$E2E_TMP/sim.log" '001A2B3C4D5E: restarting'
python3 "$(dirname "$0")/check_written_blocks.py" "$E2E_TMP/sim.log" Renamed 6001 --heart-unchanged

# Read back what was written.
cli --json read 001A2B3C4D5E 2>/dev/null | python3 -c 'import json,sys; r=json.load(sys.stdin); assert r["base"]["ModName"]=="Renamed" and r["port"]["LocalPort"]==6001 and r["port"]["Parity"]==3, r'

# A module that refuses every frame: each refusal is reported and the exit status is 1.
kill "$BG_PID"; wait "$BG_PID" 2>/dev/null || true
start_peer_bg "$E2E_TMP/sim2.log" "$SIM" lan --refuse-writes P --module mac=001A2B3C4D5E,ip=10.77.2.7,version=4017
wait_for_line "$E2E_TMP/sim2.log" 'listening'
if cli write 001A2B3C4D5E ModName=Again > "$E2E_TMP/pw.out" 2> "$E2E_TMP/pw.err"; then fail "refused write reported success"; fi
[ "$(grep -c 'UsrName or Password Error!' "$E2E_TMP/pw.err")" = 7 ] || { cat "$E2E_TMP/pw.err"; fail "every refused frame must be reported"; }
[ "$(cat "$E2E_TMP/pw.out")" = "0 of 7 frames acknowledged" ] || fail "summary line: $(cat "$E2E_TMP/pw.out")"

# A module that answers with checksum errors: each line names the checksum the module expected.
kill "$BG_PID"; wait "$BG_PID" 2>/dev/null || true
start_peer_bg "$E2E_TMP/sim3.log" "$SIM" lan --refuse-writes C --module mac=001A2B3C4D5E,ip=10.77.2.7,version=4017
wait_for_line "$E2E_TMP/sim3.log" 'listening'
if cli write 001A2B3C4D5E ModName=Again > "$E2E_TMP/chk.out" 2> "$E2E_TMP/chk.err"; then fail "write with checksum errors reported success"; fi
[ "$(grep -c -E '^ Check Error: it should be: [0-9A-F]{2}$' "$E2E_TMP/chk.err")" = 7 ] ||
  { cat "$E2E_TMP/chk.err"; fail "every checksum error with its checksum"; }
[ "$(cat "$E2E_TMP/chk.out")" = "0 of 7 frames acknowledged" ] || fail "summary line: $(cat "$E2E_TMP/chk.out")"
if cli restart 001A2B3C4D5E > "$E2E_TMP/chkr.out" 2> "$E2E_TMP/chkr.err"; then fail "restart with a checksum error succeeded"; fi
grep -q -x -E ' Check Error: it should be: [0-9A-F]{2}' "$E2E_TMP/chkr.out" && [ "$(wc -l < "$E2E_TMP/chkr.out")" = 1 ] ||
  fail "restart result: $(cat "$E2E_TMP/chkr.out")"
grep -q 'Check Error' "$E2E_TMP/chkr.err" && fail "the restart's answer is shown twice"
# A 4016 module has no heartbeat/register block: its write needs no heartbeat values.
kill "$BG_PID"; wait "$BG_PID" 2>/dev/null || true
start_peer_bg "$E2E_TMP/sim4.log" "$SIM" lan --module mac=001A2B3C4D5F,ip=10.77.2.8,name=Old-Q2,version=4016
wait_for_line "$E2E_TMP/sim4.log" 'listening'
cli write 001A2B3C4D5F LocalPort=6004 > "$E2E_TMP/old.out" 2> "$E2E_TMP/old.err" ||
  { cat "$E2E_TMP/old.out" "$E2E_TMP/old.err"; fail "write to a 4016 module"; }
[ "$(cat "$E2E_TMP/old.out")" = "3 of 3 frames acknowledged" ] || fail "4016 result: $(cat "$E2E_TMP/old.out")"
wait_for_line "$E2E_TMP/sim4.log" '001A2B3C4D5F: wrote port block'
grep -q 'heartbeat' "$E2E_TMP/sim4.log" && fail "a heartbeat block went to a 4016 module"
echo "lan write e2e: ok"
