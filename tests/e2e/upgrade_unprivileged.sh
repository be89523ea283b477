#!/usr/bin/env bash
# Firmware upgrades by an unprivileged user (uid 65534) on the standard ports 9, 67 and 69: with a
# copy of the binding helper that holds cap_net_bind_service the upgrade succeeds; without a
# helper, or with one that lacks the capability, it fails and the reason says what to do.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
stop() { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }
make_peer 63
HERE=10.77.63.1
MOD=10.77.63.2
MAC="02 00 00 00 63 02"

# This namespace must keep the ports below 1024 privileged, or the test proves nothing.
[ "$(cat /proc/sys/net/ipv4/ip_unprivileged_port_start)" -gt 69 ] ||
  fail "ports 9..69 are not privileged in this namespace"

last_line() {
  local got
  got=$(tail -n 1 "$1")
  [ "$got" = "$2" ] || { echo "--- $1:" >&2; cat "$1" >&2; fail "last line is '$got', not '$2'"; }
}

# A world-readable place for the user: its home, the firmware file, the helper's copy.
chmod 755 "$E2E_TMP"
USER_HOME=$E2E_TMP/home
mkdir -p "$USER_HOME" "$E2E_TMP/helper"
chown 65534:65534 "$USER_HOME"
bin=$E2E_TMP/fw.bin
{ printf '\x51\x32\x00\x01'; head -c 20000 /dev/urandom; } > "$bin"
chmod 644 "$bin"
HELPER=$E2E_TMP/helper/bexo-z0-bind
cp "$BIN/bexo-z0-bind" "$HELPER"
chmod 755 "$E2E_TMP/helper" "$HELPER"
setcap cap_net_bind_service=ep "$HELPER" || fail "setcap failed: this file system keeps no file capabilities"

# as_user HELPER_SETTING OUT: the upgrade as uid 65534; HELPER_SETTING is "unset" or the value of
# BEXO_BIND_HELPER.
as_user() {
  local helper=$1 out=$2 rc=0
  local env=(env -i HOME="$USER_HOME" PATH=/usr/bin:/bin LANG=C.UTF-8)
  [ "$helper" = unset ] || env+=(BEXO_BIND_HELPER="$helper")
  setpriv --reuid=65534 --regid=65534 --clear-groups "${env[@]}" \
    "$CLI" --lang en upgrade --ip $MOD --mac "$MAC" --local-ip $HERE --search-timeout 3000 "$bin" \
    > "$out" 2> "$out.err" || rc=$?
  return $rc
}

# 1. With the helper's copy: the whole image arrives.
start_peer_bg "$E2E_TMP/sim1.log" "$SIM" bootloader --ip $MOD --mac "$MAC" --expect "$bin" \
  --save "$E2E_TMP/got1.img" --once --linger 200
sim=$BG_PID
wait_for_line "$E2E_TMP/sim1.log" 'waiting for the trigger'
as_user "$HELPER" "$E2E_TMP/cli1" || { cat "$E2E_TMP/cli1" "$E2E_TMP/cli1.err" >&2; fail "upgrade with the helper failed"; }
last_line "$E2E_TMP/cli1" ' Upgrade successful.please restore factory default.'
wait "$sim" || fail "the loader's verdict: $(cat "$E2E_TMP/sim1.log")"
cmp <(tail -c +5 "$bin") "$E2E_TMP/got1.img" || fail "received image differs"
grep -q "BOOTP reply: address $MOD, server $HERE" "$E2E_TMP/sim1.log" || fail "no BOOTP reply from port 67"

# 2. No helper at all: the reason says what to do.
start_peer_bg "$E2E_TMP/sim2.log" "$SIM" bootloader --ip $MOD --mac "$MAC" --expect "$bin"
sim=$BG_PID
wait_for_line "$E2E_TMP/sim2.log" 'waiting for the trigger'
as_user "" "$E2E_TMP/cli2" && fail "an upgrade without privilege or helper succeeded"
last_line "$E2E_TMP/cli2" ' Upgrade failed!'
err=$(cat "$E2E_TMP/cli2.err")
for want in "cannot bind $HERE port 9: Permission denied" "No binding helper was found" \
            "install the bexo-z0 package"; do
  [[ $err == *"$want"* ]] || fail "reason without '$want': $err"
done
# The reason in the words of the upgrade window, just before the status line; never "as root".
grep -qF 'Ports 9, 67 and 69 need the binding helper bexo-z0-bind, which was not found. Install the bexo-z0 package' \
  "$E2E_TMP/cli2" || { cat "$E2E_TMP/cli2" >&2; fail "no reason with what to do"; }
grep -qi 'as root' "$E2E_TMP/cli2" "$E2E_TMP/cli2.err" && fail "told to run as root"
sleep 0.3
grep -q 'trigger heard' "$E2E_TMP/sim2.log" && fail "a trigger went out although the bindings failed"

# 3. A helper without its capability (the build's own, beside the program): how to give it one.
as_user unset "$E2E_TMP/cli3" && fail "an upgrade with a helper lacking its capability succeeded"
last_line "$E2E_TMP/cli3" ' Upgrade failed!'
err=$(cat "$E2E_TMP/cli3.err")
own=$(cd "$BIN" && pwd -P)/bexo-z0-bind
for want in "Permission denied" "lacks that capability too" "setcap cap_net_bind_service=ep $own"; do
  [[ $err == *"$want"* ]] || fail "reason without '$want': $err"
done
grep -qF "The binding helper $own may not bind ports below 1024. Give it the capability with \"sudo setcap cap_net_bind_service=ep $own\"" \
  "$E2E_TMP/cli3" || { cat "$E2E_TMP/cli3" >&2; fail "no reason with what to do"; }
grep -qi 'as root' "$E2E_TMP/cli3" "$E2E_TMP/cli3.err" && fail "told to run as root"

# 3b. The package's helper may be run by the members of its group only: a user outside the group
# is told to join it.
mkdir -p "$E2E_TMP/grouped"
chmod 755 "$E2E_TMP/grouped"
cp "$HELPER" "$E2E_TMP/grouped/bexo-z0-bind"
chown root:dialout "$E2E_TMP/grouped/bexo-z0-bind"
chmod 0750 "$E2E_TMP/grouped/bexo-z0-bind"
as_user "$E2E_TMP/grouped/bexo-z0-bind" "$E2E_TMP/cli3b" && fail "an upgrade with a helper the user may not run succeeded"
last_line "$E2E_TMP/cli3b" ' Upgrade failed!'
grep -qF "This user may not run the binding helper $E2E_TMP/grouped/bexo-z0-bind: the user is not in the group bexo-z0. Add the user with \"sudo adduser \$USER bexo-z0\", then log in again." \
  "$E2E_TMP/cli3b" || { cat "$E2E_TMP/cli3b" "$E2E_TMP/cli3b.err" >&2; fail "no word of the helper's group"; }
stop $sim

# 4. Even with its capability the helper binds nothing but the upgrade's ports on a local address.
for args in "3 $HERE 80" "3 $HERE 68" "3 10.77.99.1 67" "3 $HERE broadcast:9" "3 $HERE 67 67" "x $HERE 9" "3 $HERE"; do
  rc=0
  # shellcheck disable=SC2086 # the words are the arguments
  setpriv --reuid=65534 --regid=65534 --clear-groups "$HELPER" $args 3>/dev/null 2> "$E2E_TMP/refusal" || rc=$?
  [ "$rc" -eq 2 ] || fail "helper $args: exit status $rc, not 2"
  grep -q '^usage: bexo-z0-bind FD ADDRESS BINDING' "$E2E_TMP/refusal" || fail "helper $args: no usage"
done

echo "upgrade_unprivileged: all passed"
