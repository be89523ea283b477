#!/usr/bin/env bash
# search and read while a hostile peer floods the tool with random datagrams of every length:
# exactly the real modules are listed, unknown lengths are reported, the CLI exits normally.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
make_peer 3
ip addr add 10.77.3.9/24 dev veth-h3 2>/dev/null || true
nsenter -t "$PEER_PID" -n ip addr add 10.77.3.66/24 dev veth-p3

start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan --quiet \
  --module mac=001A2B3C4D5E,ip=10.77.3.7,name=Real-Q2,version=4017 \
  --module mac=001A2B3C4D5F,ip=10.77.3.8,name=Real-Q3,model=q3,version=2002
wait_for_line "$E2E_TMP/sim.log" 'listening'

flood() { start_peer_bg "$E2E_TMP/flood-$1.log" python3 "$(dirname "$0")/flood.py" 10.77.3.66 30000 6 "$E2E_TMP/flood-$1.out"; wait_for_line "$E2E_TMP/flood-$1.out" 'ready'; }

flood search
set +e
"$CLI" --interface 10.77.3.1 --wait 3000 --json search > "$E2E_TMP/search.json" 2> "$E2E_TMP/search.err"
rc=$?
set -e
[ "$rc" = 0 ] || { tail -5 "$E2E_TMP/search.err"; fail "search under flood exited $rc"; }
wait_for_line "$E2E_TMP/flood-search.out" 'sent'
python3 - "$E2E_TMP/search.json" <<'PY'
import json, sys
rows = json.load(open(sys.argv[1]))
assert sorted(r["mac"] for r in rows) == ["00 1A 2B 3C 4D 5E", "00 1A 2B 3C 4D 5F"], rows
PY
grep -q 'Receive unknown,length is: ' "$E2E_TMP/search.err" || fail "unknown lengths not reported"
cat "$E2E_TMP/flood-search.out"

flood read
set +e
"$CLI" --interface 10.77.3.1 --wait 3000 --json read 001A2B3C4D5E > "$E2E_TMP/read.json" 2> "$E2E_TMP/read.err"
rc=$?
set -e
[ "$rc" = 0 ] || { tail -5 "$E2E_TMP/read.err"; fail "read under flood exited $rc"; }
python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); assert r["base"]["ModName"]=="Real-Q2" and r["base"]["UserMAC"]=="00 1A 2B 3C 4D 5E", r["base"]' "$E2E_TMP/read.json"
grep -q 'Receive unknown,length is: ' "$E2E_TMP/read.err" || fail "unknown lengths not reported during read"
echo "hostile network e2e: ok"
