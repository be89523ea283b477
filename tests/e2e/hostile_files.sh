#!/usr/bin/env bash
# Files that fight back. A full disk under the program's folder (its Lang.txt and Cfg.ini), the
# export folder and a profile's folder: every old file stays whole and the CLI says what failed
# (exit 1; the built-in texts serve when Lang.txt cannot be written). A FIFO or a file larger than a
# module holds, as firmware or profile, is refused at once with exit 2, before a port is bound or a
# datagram sent.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
make_peer 4
start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan --module mac=001A2B3C4D5E,ip=10.77.4.7,name=Pump-Q2,version=4017
wait_for_line "$E2E_TMP/sim.log" 'listening'
datagrams() { grep -c -E '^sim: [0-9.:]+ -> :[0-9]+ [0-9]+ bytes' "$E2E_TMP/sim.log" || true; }

# Everything on a small tmpfs of a mount namespace of our own: first with room, then full.
full=$E2E_TMP/full
mkdir -p "$full"
cp "$CLI" "$E2E_TMP/cli-copy"
unshare -m bash -s "$E2E_TMP/cli-copy" "$full" "$E2E_TMP" <<'SH' || fail "full-disk checks"
set -euo pipefail
copy=$1 full=$2 tmp=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
size=$(( $(stat -c %s "$copy") + 256 * 1024 ))
mount -t tmpfs -o size=$size tmpfs "$full"
cp "$copy" "$full/bexo-z0-cli"
cli() { "$full/bexo-z0-cli" --interface 10.77.4.1 --wait 600 "$@"; }
printf '[System]\r\nLanguage=0\r\n' > "$full/Cfg.ini"
mkdir "$full/out"
cli profile save 001A2B3C4D5E "$full/out/pump.json" > /dev/null 2>&1 || fail "saving the profile with room"
cli export "$full/out" > "$tmp/first-export" 2> /dev/null || fail "exporting with room"
cp "$full/out/pump.json" "$tmp/pump.json"
cp "$(cat "$tmp/first-export")" "$tmp/first.csv"
# The CLI's copy wrote its Lang.txt beside itself; take it out, so the full disk meets that write.
rm "$full/Lang.txt"

dd if=/dev/zero of="$full/filler" bs=4096 2> /dev/null || true
dd if=/dev/zero of="$full/filler-tail" bs=1 2> /dev/null || true

# Lang.txt cannot be written: said on stderr, the built-in texts serve, no cut-off file stays.
out=$(cli text lang_Menu_ExpDev 2> "$tmp/lang.err") || fail "text with a full disk exited $?"
[ "$out" = "Export Devices" ] || fail "text: $out"
grep -q "warning: Unable to write to $full/Lang.txt (No space left on device); the built-in texts are used" "$tmp/lang.err" ||
  fail "Lang.txt failure: $(cat "$tmp/lang.err")"
[ ! -e "$full/Lang.txt" ] || fail "a cut-off Lang.txt was left"

# A profile over an older one, and an export.
set +e
cli profile save 001A2B3C4D5E "$full/out/pump.json" > /dev/null 2> "$tmp/save.err"; rc=$?
set -e
[ "$rc" = 1 ] || fail "profile save on a full disk exited $rc"
grep -q "cannot write $full/out/pump.json (No space left on device)" "$tmp/save.err" || fail "save: $(cat "$tmp/save.err")"
cmp -s "$full/out/pump.json" "$tmp/pump.json" || fail "the old profile was not kept"
set +e
cli export "$full/out" > "$tmp/export.out" 2> "$tmp/export.err"; rc=$?
set -e
[ "$rc" = 1 ] || fail "export on a full disk exited $rc"
grep -q 'Cannot create file ".*\.csv"\. No space left on device' "$tmp/export.err" || fail "export: $(cat "$tmp/export.err")"
cmp -s "$(cat "$tmp/first-export")" "$tmp/first.csv" || fail "the first export changed"
[ "$(ls "$full/out" | grep -c '\.csv$')" = 1 ] || fail "a failed export left a file: $(ls "$full/out")"
[ -z "$(ls -A "$full" "$full/out" | grep '^\.bexo-tmp\.')" ] || fail "temporaries left: $(ls -A "$full" "$full/out")"
grep -q '^Password' "$full/Cfg.ini" && fail "the CLI wrote Cfg.ini"

# With room again, Lang.txt is written whole.
rm "$full/filler" "$full/filler-tail"
cli text lang_Menu_ExpDev > /dev/null 2> "$tmp/lang2.err"
[ ! -s "$tmp/lang2.err" ] || fail "with room: $(cat "$tmp/lang2.err")"
[ "$(grep -c $'\r$' "$full/Lang.txt")" -gt 280 ] || fail "Lang.txt is not whole"
echo "full disk: old files kept, failures reported"
SH

# A FIFO, a device and a file larger than a module holds, as firmware: exit 2 at once, while port
# 67 is held (a bind would have failed first), and nothing reaches the module.
python3 -c 'import socket,time; s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM); s.bind(("10.77.4.1",67)); print("held",flush=True); time.sleep(60)' \
  > "$E2E_TMP/holder.log" 2>&1 &
E2E_PIDS+=($!)
wait_for_line "$E2E_TMP/holder.log" 'held'
mkfifo "$E2E_TMP/fw.bin" "$E2E_TMP/profile.json"
truncate -s 17M "$E2E_TMP/huge.bin"
before=$(datagrams)
for fw in "$E2E_TMP/fw.bin" /dev/zero "$E2E_TMP/huge.bin"; do
  set +e
  timeout 10 "$CLI" upgrade --ip 10.77.4.7 --mac 001A2B3C4D5E --local-ip 10.77.4.1 "$fw" > "$E2E_TMP/up.out" 2> "$E2E_TMP/up.err"
  rc=$?
  set -e
  [ "$rc" = 2 ] || { cat "$E2E_TMP/up.out" "$E2E_TMP/up.err"; fail "upgrade with $fw exited $rc"; }
  grep -q -E "(Not a regular file|Larger than 16 MiB).*$fw" "$E2E_TMP/up.out" || fail "upgrade $fw: $(cat "$E2E_TMP/up.out")"
  grep -q 'Address already in use' "$E2E_TMP/up.err" "$E2E_TMP/up.out" && fail "a port was bound before the file was checked"
done

set +e
timeout 10 "$CLI" --interface 10.77.4.1 --wait 600 profile apply "$E2E_TMP/profile.json" 001A2B3C4D5E \
  > /dev/null 2> "$E2E_TMP/apply.err"
rc=$?
set -e
[ "$rc" = 2 ] || fail "profile apply of a FIFO exited $rc"
grep -q 'refused: the file is a pipe, not a regular file; nothing was sent' "$E2E_TMP/apply.err" ||
  fail "apply: $(cat "$E2E_TMP/apply.err")"
[ "$(datagrams)" = "$before" ] || fail "the module received something"
echo "hostile files e2e: ok"
