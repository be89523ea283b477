#!/usr/bin/env bash
# Firmware for several modules at once, found by a search: simulated Q2 modules answer the search
# and, on the same addresses behind a veth pair, their boot loaders take the images. Each module
# has its own result; the images that arrive are compared byte for byte.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
stop() { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }
make_peer 62
NET=10.77.62
for h in 3 4 5; do in_peer ip addr add $NET.$h/24 dev veth-p62; done
mac() { echo "02 00 00 00 62 0$1"; }

# The modules as the search sees them, the same four throughout.
start_peer_bg "$E2E_TMP/lan.log" "$SIM" lan \
  --module "mac=$(mac 2 | tr -d ' '),ip=$NET.2,name=Fleet-2,version=4017" \
  --module "mac=$(mac 3 | tr -d ' '),ip=$NET.3,name=Fleet-3,version=4017" \
  --module "mac=$(mac 4 | tr -d ' '),ip=$NET.4,name=Fleet-4,version=4017" \
  --module "mac=$(mac 5 | tr -d ' '),ip=$NET.5,name=Fleet-5,version=4017"
LAN=$BG_PID
wait_for_line "$E2E_TMP/lan.log" 'listening'

bin=$E2E_TMP/fw.bin
{ printf '\x51\x32\x00\x01'; head -c 30000 /dev/urandom; } > "$bin"
same_image() { cmp <(tail -c +5 "$bin") "$1" || fail "the image $1 differs from $bin"; }

# loaders LOG OPTIONS...: one process with a boot loader per --loader OPTIONS, every one ready.
loaders() {
  local log=$1 n=$(( $# - 1 )) args=() one
  shift
  for one in "$@"; do args+=(--loader "$one"); done
  start_peer_bg "$log" "$SIM" bootloader --expect "$bin" "${args[@]}"
  LOADERS=$BG_PID
  for ((i = 0; i < 50; i++)); do
    [ "$(grep -c 'waiting for the trigger' "$log")" -eq "$n" ] && return 0
    sleep 0.1
  done
  cat "$log" >&2
  fail "the boot loaders did not start"
}

# row OUT MAC: the result table's row of a module, its columns separated by single blanks.
row() { grep "^$2 " "$1" | tr -s ' '; }

up() { "$CLI" --lang en --wait 400 upgrade "$bin" "$@"; }

# 0. A file that cannot be an image is refused before anything is sent, with exit status 2.
mkfifo "$E2E_TMP/fifo.bin"
for bad in "$E2E_TMP/fifo.bin" "$E2E_TMP/none.bin"; do
  rc=0
  "$CLI" --lang en upgrade "$bad" --all > "$E2E_TMP/c0.out" 2> "$E2E_TMP/c0.err" || rc=$?
  [ $rc -eq 2 ] || fail "exit status $rc for $bad"
  grep -q -E "is not a regular file|does not exist" "$E2E_TMP/c0.err" || fail "no reason for $bad: $(cat "$E2E_TMP/c0.err")"
  grep -q 'Data has been sent' "$E2E_TMP/c0.err" && fail "a refused file still led to a search"
done

# 1. Four modules at once: two take the image, one has other hardware, one stops acknowledging
# after five blocks. Each ends with its own result and reason; the BOOTP requests, which arrive
# together, are answered each with its own module's address.
loaders "$E2E_TMP/l1.log" "ip=$NET.2,mac=$(mac 2),save=$E2E_TMP/got2.img" \
  "ip=$NET.3,mac=$(mac 3),wrong-id=1" \
  "ip=$NET.4,mac=$(mac 4),stop-after=5" \
  "ip=$NET.5,mac=$(mac 5),save=$E2E_TMP/got5.img"
rc=0
up "$(mac 2)" "$(mac 3)" "$(mac 4)" "$(mac 5)" --block-timeout 100 --back-timeout 3000 \
  > "$E2E_TMP/c1.out" 2> "$E2E_TMP/c1.err" || rc=$?
[ $rc -eq 1 ] || { cat "$E2E_TMP/c1.out" "$E2E_TMP/c1.err" >&2; fail "exit status $rc, not 1"; }
grep -q '^MODULE  *IP  *RESULT  *BLOCKS  *SECONDS  *BEFORE  *AFTER$' "$E2E_TMP/c1.out" || fail "no table header"
row "$E2E_TMP/c1.out" "$(mac 2)" | grep -q "^$(mac 2) $NET.2 ok 59/59 [0-9.]* 4017 4017$" ||
  fail "module 2: $(row "$E2E_TMP/c1.out" "$(mac 2)")"
row "$E2E_TMP/c1.out" "$(mac 5)" | grep -q "^$(mac 5) $NET.5 ok 59/59 " || fail "module 5"
row "$E2E_TMP/c1.out" "$(mac 3)" | grep -q "^$(mac 3) $NET.3 mismatch 0/59 .* 4017 -$" || fail "module 3"
row "$E2E_TMP/c1.out" "$(mac 4)" | grep -q "^$(mac 4) $NET.4 time-out 5/59 .* 4017 -$" ||
  fail "module 4: $(row "$E2E_TMP/c1.out" "$(mac 4)")"
grep -q '^  reason: its boot loader announced another hardware identifier than the file.s 51 32 00 01$' "$E2E_TMP/c1.out" ||
  fail "no reason for the mismatch: $(cat "$E2E_TMP/c1.out")"
grep -q '^  reason: block 6 was not acknowledged after 9 retransmissions$' "$E2E_TMP/c1.out" || fail "no reason for the time-out"
# Not a terminal: a line per status change, progress in steps of ten per cent.
[ "$(grep -c "^$(mac 2)   Upgrade progress\.\.\.[0-9]*%$" "$E2E_TMP/c1.out")" -ge 9 ] || fail "no progress lines"
grep -q "^$(mac 5)   Upgrade successful, the module is back with firmware 4017$" "$E2E_TMP/c1.out" ||
  fail "no line for the module's return"
for h in 2 3 4 5; do
  grep -q "^bootloader $NET.$h: trigger heard" "$E2E_TMP/l1.log" || fail "loader $h heard no trigger"
done
for h in 2 4 5; do
  grep -q "^bootloader $NET.$h: BOOTP reply: address $NET.$h, server $NET.1, file firmware.bin" "$E2E_TMP/l1.log" ||
    fail "loader $h: no BOOTP reply with its own address"
done
grep -q 'warning: given address' "$E2E_TMP/l1.log" && fail "a loader was given another's address"
grep -q "^bootloader $NET.3: read request sent" "$E2E_TMP/l1.log" && fail "the mismatching loader was answered"
# The four went together: every trigger went out before the first image was complete.
first_done=$(grep -n 'image complete' "$E2E_TMP/l1.log" | head -1 | cut -d: -f1)
last_trigger=$(grep -n 'trigger heard' "$E2E_TMP/l1.log" | tail -1 | cut -d: -f1)
[ "$last_trigger" -lt "$first_done" ] || fail "the modules were upgraded one after the other"
wait_for_line "$E2E_TMP/l1.log" "bootloader $NET.5: image matches"
same_image "$E2E_TMP/got2.img"
same_image "$E2E_TMP/got5.img"
stop $LOADERS

# 2. The canary: the first module has other hardware, so the run ends there and the others are
# never triggered.
loaders "$E2E_TMP/l2.log" "ip=$NET.3,mac=$(mac 3),wrong-id=1" "ip=$NET.2,mac=$(mac 2)" "ip=$NET.5,mac=$(mac 5)"
rc=0
up "$(mac 3)" "$(mac 2)" "$(mac 5)" --canary --json > "$E2E_TMP/c2.out" 2> "$E2E_TMP/c2.err" || rc=$?
[ $rc -eq 1 ] || { cat "$E2E_TMP/c2.out" "$E2E_TMP/c2.err" >&2; fail "canary: exit status $rc, not 1"; }
python3 - "$E2E_TMP/c2.out" <<'EOF' || fail "canary JSON: $(cat "$E2E_TMP/c2.out")"
import json, sys
rows = json.load(open(sys.argv[1]))
assert [r["result"] for r in rows] == ["mismatch", "skipped", "skipped"], rows
assert rows[0]["status"] == "Firmware does not match with hardware!", rows[0]
assert rows[1]["reason"] == "not started: the first module did not succeed", rows[1]
assert rows[0]["firmwareBefore"] == "4017" and rows[0]["firmwareAfter"] == "", rows[0]
assert set(rows[0]) >= {"mac", "ip", "result", "blocks", "totalBlocks", "seconds", "firmwareBefore",
                        "firmwareAfter", "status", "reason"}, rows[0]
EOF
grep -q "^bootloader $NET.3: trigger heard" "$E2E_TMP/l2.log" || fail "the canary was not triggered"
grep -q "^bootloader $NET.[25]: trigger heard" "$E2E_TMP/l2.log" && fail "a module after the failed canary was triggered"
stop $LOADERS

# 3. Boot loaders that report a hardware address that is no module's MAC: the modules take turns
# between trigger and read request, the log says so, and both still succeed, with the factory
# settings restored once they are back.
loaders "$E2E_TMP/l3.log" "ip=$NET.2,mac=$(mac 2),bootp-mac=00 00 00 00 00 00,save=$E2E_TMP/got3a.img" \
  "ip=$NET.4,mac=$(mac 4),bootp-mac=00 00 00 00 00 00,save=$E2E_TMP/got3b.img"
up "$(mac 2)" "$(mac 4)" --reset-after > "$E2E_TMP/c3.out" 2> "$E2E_TMP/c3.err" ||
  { cat "$E2E_TMP/c3.out" "$E2E_TMP/c3.err" "$E2E_TMP/l3.log" >&2; fail "the upgrade in turns failed"; }
grep -q 'no selected module.s MAC: from now on the modules start one at a time' "$E2E_TMP/c3.err" ||
  fail "the log does not say that the modules take turns: $(cat "$E2E_TMP/c3.err")"
grep -q 'warning: given address' "$E2E_TMP/l3.log" && fail "a loader was given another's address in turns"
for h in 2 4; do
  row "$E2E_TMP/c3.out" "$(mac $h)" | grep -q " ok 59/59 " || fail "module $h in turns: $(cat "$E2E_TMP/c3.out")"
  grep -q "$(mac $h | tr -d ' '): factory settings restored" "$E2E_TMP/lan.log" || fail "module $h was not reset"
done
grep -q '^  reset: ACK\.$' "$E2E_TMP/c3.out" || fail "no reset answer in the table"
wait_for_line "$E2E_TMP/l3.log" "bootloader $NET.4: image matches"
same_image "$E2E_TMP/got3a.img"
same_image "$E2E_TMP/got3b.img"
stop $LOADERS

# 4. A MAC nobody answers for, and a module that is upgraded but never answers a search again
# (the simulated modules go away once its transfer has begun).
loaders "$E2E_TMP/l4.log" "ip=$NET.2,mac=$(mac 2),delay=10"
"$CLI" --lang en --wait 400 upgrade "$bin" "$(mac 2)" "02 00 00 00 62 09" --back-timeout 1500 \
  > "$E2E_TMP/c4.out" 2> "$E2E_TMP/c4.err" &
cli=$!
E2E_PIDS+=("$cli")
wait_for_line "$E2E_TMP/l4.log" 'read request sent'
stop $LAN
rc=0
wait $cli || rc=$?
[ $rc -eq 1 ] || { cat "$E2E_TMP/c4.out" "$E2E_TMP/c4.err" >&2; fail "exit status $rc with a missing module"; }
row "$E2E_TMP/c4.out" "$(mac 2)" | grep -q "^$(mac 2) $NET.2 not back 59/59 .* 4017 -$" ||
  fail "no 'not back' row: $(cat "$E2E_TMP/c4.out")"
row "$E2E_TMP/c4.out" "02 00 00 00 62 09" | grep -q ' - not found - - - -$' || fail "no 'not found' row: $(cat "$E2E_TMP/c4.out")"
grep -q 'no module with MAC 020000006209 answered the search' "$E2E_TMP/c4.err" || fail "the missing module is not named"
stop $LOADERS

echo "upgrade_fleet: all passed"
