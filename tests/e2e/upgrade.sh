#!/usr/bin/env bash
# Firmware upgrades of the simulated boot loader: across a veth pair and on loopback, with lost
# acknowledgements repaired. The received image is compared byte for byte each time.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
stop() { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }
make_peer 60
HERE=10.77.60.1
MOD=10.77.60.2

# last_line FILE TEXT: the CLI's final line must be exactly TEXT.
last_line() {
  local got
  got=$(tail -n 1 "$1")
  [ "$got" = "$2" ] || { echo "--- $1:" >&2; cat "$1" >&2; fail "last line is '$got', not '$2'"; }
}

# image N: a .bin of a 4-byte identifier and N random bytes.
image() {
  local f=$E2E_TMP/fw-$1.bin
  { printf '\x51\x32\x00\x01'; head -c "$1" /dev/urandom; } > "$f"
  echo "$f"
}

# same_image BIN SAVED: what the loader stored is the file without its identifier.
same_image() { cmp <(tail -c +5 "$1") "$2" || fail "received image differs from $1"; }

SUCCESS=' Upgrade successful.please restore factory default.'

# 1. A whole image across the veth pair, with the real ports.
bin=$(image 300000)
start_peer_bg "$E2E_TMP/sim1.log" "$SIM" bootloader --ip $MOD --mac "02 00 00 00 60 02" --expect "$bin" \
  --save "$E2E_TMP/got1.img"
sim=$BG_PID
wait_for_line "$E2E_TMP/sim1.log" 'waiting for the trigger'
"$CLI" --lang en upgrade --ip $MOD --mac "02 00 00 00 60 02" --local-ip $HERE "$bin" \
  > "$E2E_TMP/cli1.out" 2> "$E2E_TMP/cli1.err" || { cat "$E2E_TMP/cli1.err" >&2; fail "upgrade across veth failed"; }
last_line "$E2E_TMP/cli1.out" "$SUCCESS"
grep -qx ' Searching device...' "$E2E_TMP/cli1.out" || fail "no searching line"
grep -qx ' Find Device,Ready to upgrade...' "$E2E_TMP/cli1.out" || fail "no ready line"
# Not a terminal: one plain line per ten per cent.
[ "$(grep -c '^ Upgrade progress\.\.\.[0-9]*%$' "$E2E_TMP/cli1.out")" -eq 10 ] || fail "progress lines: $(cat "$E2E_TMP/cli1.out")"
wait_for_line "$E2E_TMP/sim1.log" "image matches"
grep -q "BOOTP reply: address $MOD, server $HERE, file firmware.bin" "$E2E_TMP/sim1.log" || fail "BOOTP reply"
same_image "$bin" "$E2E_TMP/got1.img"
stop $sim

# 2. Lost acknowledgements, the final one included, are repaired by retransmission.
bin=$(image 5000)
start_peer_bg "$E2E_TMP/sim2.log" "$SIM" bootloader --ip $MOD --mac 020000006002 --expect "$bin" \
  --save "$E2E_TMP/got2.img" --drop-acks 3 --drop-final
sim=$BG_PID
wait_for_line "$E2E_TMP/sim2.log" 'waiting for the trigger'
"$CLI" --lang en upgrade --ip $MOD --mac 020000006002 --local-ip $HERE --block-timeout 200 "$bin" \
  > "$E2E_TMP/cli2.out" 2>&1 || { cat "$E2E_TMP/cli2.out" >&2; fail "upgrade with lost acknowledgements failed"; }
last_line "$E2E_TMP/cli2.out" "$SUCCESS"
grep -q 'acknowledgement of the final block 10 dropped' "$E2E_TMP/sim2.log" || fail "final acknowledgement was not dropped"
[ "$(grep -c 'dropped (' "$E2E_TMP/sim2.log")" -eq 3 ] || fail "expected three dropped acknowledgements"
same_image "$bin" "$E2E_TMP/got2.img"
stop $sim

# 3. On loopback in this namespace, with a delay per block, and the traffic shown: this machine on
# the left, the arrow pointing the way each datagram went.
bin=$(image 3000)
start_bg "$E2E_TMP/sim3.log" "$SIM" bootloader --ip 127.0.0.1 --mac 020000006003 --expect "$bin" \
  --save "$E2E_TMP/got3.img" --delay 20 --once --linger 200
sim=$BG_PID
wait_for_line "$E2E_TMP/sim3.log" 'waiting for the trigger'
"$CLI" --lang en --hex upgrade --ip 127.0.0.1 --mac 020000006003 --local-ip 127.0.0.1 "$bin" \
  > "$E2E_TMP/cli3.out" 2> "$E2E_TMP/cli3.err" || { cat "$E2E_TMP/cli3.out" "$E2E_TMP/cli3.err" >&2; fail "upgrade on loopback failed"; }
last_line "$E2E_TMP/cli3.out" "$SUCCESS"
grep -q '^\[ PC \] → \[ 127\.0\.0\.1:13633 \] : 00 03 00 01 ' "$E2E_TMP/cli3.err" || fail "no data block line: $(head "$E2E_TMP/cli3.err")"
grep -q '^\[ PC \] ← \[ 127\.0\.0\.1 \] : 00 04 00 01 $' "$E2E_TMP/cli3.err" || fail "no acknowledgement line"
grep -q '^\[ PC \] ← \[ 127\.0\.0\.1 \] : 00 01 66 69 72 6D' "$E2E_TMP/cli3.err" || fail "no read request line"
grep -v '^\[ PC \] [←→] \[ ' "$E2E_TMP/cli3.err" | grep -q '^\[' && fail "a traffic line with another form: $(grep -v '^\[ PC' "$E2E_TMP/cli3.err" | head -3)"
wait "$sim" || fail "the loader's verdict on the loopback image: $(cat "$E2E_TMP/sim3.log")"
same_image "$bin" "$E2E_TMP/got3.img"

# 4. Chinese texts come from the language table too.
bin=$(image 600)
start_peer_bg "$E2E_TMP/sim4.log" "$SIM" bootloader --ip $MOD --mac 020000006002 --expect "$bin"
sim=$BG_PID
wait_for_line "$E2E_TMP/sim4.log" 'waiting for the trigger'
"$CLI" --lang zh upgrade --ip $MOD --mac 020000006002 --local-ip $HERE "$bin" > "$E2E_TMP/cli4.out" 2>&1 ||
  fail "upgrade in Chinese failed"
last_line "$E2E_TMP/cli4.out" "$("$CLI" --lang zh text lang_Hint_UpSuccess)"
stop $sim

echo "upgrade: all passed"
