#!/usr/bin/env bash
# Fleet backup and restore against simulated modules across a veth pair: one profile per module
# with its identity and an index; after the modules were changed each gets its own settings back,
# a dry run sends nothing, modules without a file and files without a module are named, and a
# folder whose files are not each module's own (another module's file under its name, a pipe)
# is refused before anything is sent.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
make_peer 181

state=$E2E_TMP/state
start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan --state "$state" \
  --module mac=001A2B3C4D81,ip=10.77.181.11,name=Pump-1 \
  --module mac=001A2B3C4D82,ip=10.77.181.12,name=Pump-2 \
  --module mac=001A2B3C4D83,ip=10.77.181.13,name=Pump-3 \
  --module mac=001A2B3C4D84,ip=10.77.181.14,name=Gate-Q3,model=q3,version=2002
wait_for_line "$E2E_TMP/sim.log" 'listening'
cli() { timeout 60 "$CLI" --interface 10.77.181.1 --wait 500 "$@"; }
datagrams() { grep -c -E '^sim: [0-9.:]+ -> :[0-9]+ [0-9]+ bytes' "$E2E_TMP/sim.log" || true; }
dir=$E2E_TMP/backup

# Bad command lines.
for args in "backup" "backup --all" "backup $dir" "backup $dir --all --comment" "restore $dir" \
            "restore $dir --all LocalPort=1" "restore $dir --all --parallel 0"; do
  set +e; cli $args > /dev/null 2>&1; rc=$?; set -e
  [ "$rc" = 2 ] || fail "'$args' exited $rc"
done

# Every Q2 module: one file each, named by its MAC, with its identity; then the index.
cli backup "$dir" --all > "$E2E_TMP/backup.out" 2> "$E2E_TMP/backup.err" ||
  { cat "$E2E_TMP/backup.out" "$E2E_TMP/backup.err"; fail "backup --all"; }
head -1 "$E2E_TMP/backup.out" | grep -q -E '^MODULE +IP +RESULT +ANSWER$' || fail "table header"
for n in 1 2 3; do
  grep -q -E "^00 1A 2B 3C 4D 8$n +10\.77\.181\.1$n +ok +saved [0-9]+ fields to $dir/001A2B3C4D8$n\.json$" "$E2E_TMP/backup.out" ||
    fail "module $n: $(cat "$E2E_TMP/backup.out")"
done
[ "$(wc -l < "$E2E_TMP/backup.out")" = 4 ] || fail "the Q3 module has no profile: $(cat "$E2E_TMP/backup.out")"
grep -q -F "index: $dir/index.csv" "$E2E_TMP/backup.err" || fail "index line: $(cat "$E2E_TMP/backup.err")"
python3 - "$dir" <<'PY'
import csv, json, sys, os
d = sys.argv[1]
rows = list(csv.reader(open(os.path.join(d, "index.csv"), newline="", encoding="utf-8")))
assert rows[0] == ["MAC", "IP", "Name", "Firmware", "File", "Time"], rows[0]
assert [r[:5] for r in rows[1:]] == [
    ["00 1A 2B 3C 4D 8%d" % n, "10.77.181.1%d" % n, "Pump-%d" % n, "4017", "001A2B3C4D8%d.json" % n] for n in (1, 2, 3)], rows
for n in (1, 2, 3):
    p = json.load(open(os.path.join(d, "001A2B3C4D8%d.json" % n)))
    assert p["savedFrom"] == "00 1A 2B 3C 4D 8%d" % n and p["firmware"] == 4017, p
    f = p["fields"]
    assert f["StaticIP"] == "10.77.181.1%d" % n and f["ModName"] == "Pump-%d" % n, f
    assert "Password" not in f and "UserName" not in f, f
    assert f["LocalPort"] == 20108, f
PY

# A MAC that does not answer, and the Q3 module by MAC.
set +e; cli --json backup "$E2E_TMP/other" 001A2B3C4D81 001A2B3C4D84 001A2B3C4DFF > "$E2E_TMP/some.json" 2>/dev/null; rc=$?; set -e
[ "$rc" = 1 ] || fail "backup with a missing module exited $rc"
python3 - "$E2E_TMP/some.json" "$E2E_TMP/other" <<'PY'
import json, sys
rows = json.load(open(sys.argv[1]))
assert [r["result"] for r in rows] == ["ok", "wrong model", "not found"], rows
assert rows[0]["file"] == sys.argv[2] + "/001A2B3C4D81.json", rows[0]
assert "file" not in rows[1] and "file" not in rows[2]
PY

# The modules change; a dry run shows the way back and sends no block.
cli write --all LocalPort=7400 Parity=ODD > /dev/null 2>&1 || fail "changing the modules"
wait_for_line "$E2E_TMP/sim.log" '001A2B3C4D83: restarting'
restarts=$(grep -c 'restarting' "$E2E_TMP/sim.log")
cli restore "$dir" --all --dry-run > "$E2E_TMP/dry.out" 2>/dev/null || fail "dry run: $(cat "$E2E_TMP/dry.out")"
[ "$(grep -c -E '^00 1A 2B 3C 4D 8[123] .* dry run ' "$E2E_TMP/dry.out")" = 3 ] || fail "dry run rows: $(cat "$E2E_TMP/dry.out")"
[ "$(grep -c -F '  change: LocalPort: 7400 -> 20108' "$E2E_TMP/dry.out")" = 3 ] || fail "dry run changes: $(cat "$E2E_TMP/dry.out")"
! grep -q -E ': wrote ' <(tail -n +"$(grep -n '001A2B3C4D83: restarting' "$E2E_TMP/sim.log" | tail -1 | cut -d: -f1)" "$E2E_TMP/sim.log") ||
  fail "a dry run wrote a block"
[ "$(grep -c 'restarting' "$E2E_TMP/sim.log")" = "$restarts" ] || fail "a dry run restarted a module"

# Files that are not each module's own: refused, and nothing at all is sent.
cp "$dir/001A2B3C4D82.json" "$E2E_TMP/keep82.json"
cp "$dir/001A2B3C4D81.json" "$dir/001A2B3C4D82.json"
mkfifo "$dir/001A2B3C4D85.json"
before=$(datagrams)
set +e; cli restore "$dir" --all > "$E2E_TMP/refused.out" 2> "$E2E_TMP/refused.err"; rc=$?; set -e
[ "$rc" = 2 ] || fail "a tampered folder exited $rc"
grep -q -F 'refused 001A2B3C4D82.json: saved from 00 1A 2B 3C 4D 81, not from the module its name gives (00 1A 2B 3C 4D 82)' "$E2E_TMP/refused.err" ||
  fail "another module's file: $(cat "$E2E_TMP/refused.err")"
grep -q -F 'refused 001A2B3C4D85.json: not a plain file' "$E2E_TMP/refused.err" || fail "the pipe: $(cat "$E2E_TMP/refused.err")"
grep -q -F 'nothing was sent' "$E2E_TMP/refused.err" || fail "nothing was sent"
[ ! -s "$E2E_TMP/refused.out" ] || fail "a refused restore printed a table"
sleep 0.3
[ "$(datagrams)" = "$before" ] || fail "a refused restore sent something"
# Named modules read only their own files: the others do not stop them.
cli restore "$dir" 001A2B3C4D81 > "$E2E_TMP/one.out" 2>/dev/null || fail "restore of one module: $(cat "$E2E_TMP/one.out")"
grep -q -E '^00 1A 2B 3C 4D 81 +10\.77\.181\.11 +ok +7 of 7 frames acknowledged$' "$E2E_TMP/one.out" || fail "one: $(cat "$E2E_TMP/one.out")"

# Back to each module's own files; one module without a file, one file without a module.
mv "$E2E_TMP/keep82.json" "$dir/001A2B3C4D82.json"
rm "$dir/001A2B3C4D85.json" "$dir/001A2B3C4D83.json"
sed -e 's/00 1A 2B 3C 4D 81/00 1A 2B 3C 4D 86/' "$dir/001A2B3C4D81.json" > "$dir/001A2B3C4D86.json"
set +e; cli --json restore "$dir" --all --verify --verify-timeout 5000 > "$E2E_TMP/restore.json" 2> "$E2E_TMP/restore.err"; rc=$?; set -e
[ "$rc" = 1 ] || fail "restore with a module without a file exited $rc: $(cat "$E2E_TMP/restore.err")"
python3 - "$E2E_TMP/restore.json" "$dir" "$state" <<'PY'
import json, sys
rows = {r["mac"]: r for r in json.load(open(sys.argv[1]))}
d = sys.argv[2]
assert list(rows) == ["00 1A 2B 3C 4D 81", "00 1A 2B 3C 4D 82", "00 1A 2B 3C 4D 83", "00 1A 2B 3C 4D 86"], list(rows)
for n in (1, 2):
    r = rows["00 1A 2B 3C 4D 8%d" % n]
    assert r["result"] == "ok" and r["answer"].endswith("fields read back as written"), r
    assert r["file"] == d + "/001A2B3C4D8%d.json" % n, r
assert rows["00 1A 2B 3C 4D 83"]["result"] == "no file", rows["00 1A 2B 3C 4D 83"]
assert rows["00 1A 2B 3C 4D 86"]["result"] == "not found", rows["00 1A 2B 3C 4D 86"]
assert rows["00 1A 2B 3C 4D 86"]["answer"] == "did not answer the search; its file %s/001A2B3C4D86.json was not restored" % d
# Each module holds its own identity and the settings of its own file; no file, no change.
for line in open(sys.argv[3]):
    mac, *blocks = line.split()
    b = {k: bytes.fromhex(v) for k, v in (x.split("=") for x in blocks)}
    n = int(mac[-1])
    ip = ".".join(str(x) for x in reversed(b["base"][9:13]))
    name = b["base"][21:35].rstrip(b"\0").decode()
    local = b["port"][12] | b["port"][13] << 8
    if n in (1, 2):
        assert (ip, name, local, b["port"][5]) == ("10.77.181.1%d" % n, "Pump-%d" % n, 20108, 1), (mac, ip, name, local)
    elif n == 3:
        assert local == 7400, (mac, local)
PY

# An empty folder is no backup.
mkdir "$E2E_TMP/empty"
set +e; cli restore "$E2E_TMP/empty" --all > /dev/null 2> "$E2E_TMP/empty.err"; rc=$?; set -e
[ "$rc" = 2 ] && grep -q -F 'no backup file in' "$E2E_TMP/empty.err" || fail "empty folder: $rc $(cat "$E2E_TMP/empty.err")"
echo "backup and restore e2e: ok"
