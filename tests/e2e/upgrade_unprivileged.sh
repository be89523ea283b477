#!/usr/bin/env bash
# Firmware upgrades by an unprivileged user (uid 65534) on the standard ports 9, 67 and 69: with a
# copy of the binding helper that holds cap_net_bind_service and may be run by one group, as the
# package installs it, a member of that group upgrades; a user outside it may not run the helper
# and is told which group it takes; without a helper, or with one that lacks the capability, the
# upgrade fails and the reason says what to do.
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
# The helper's copy as the package installs it: root and one group (a number without a name here,
# so nothing on this machine changes), mode 0750, the capability set after the owner (a change of
# owner drops it).
GROUP=4242
HELPER=$E2E_TMP/helper/bexo-z0-bind
cp "$BIN/bexo-z0-bind" "$HELPER"
chmod 755 "$E2E_TMP/helper"
chown root:$GROUP "$HELPER"
chmod 750 "$HELPER"
setcap cap_net_bind_service=ep "$HELPER" || fail "setcap failed: this file system keeps no file capabilities"
member=(setpriv --reuid=65534 --regid=65534 --groups=$GROUP)
outsider=(setpriv --reuid=65534 --regid=65534 --clear-groups)

# as_user HELPER_SETTING OUT [member]: the upgrade as uid 65534, outside the helper's group unless
# told; HELPER_SETTING is "unset" or the value of BEXO_BIND_HELPER.
as_user() {
  local helper=$1 out=$2 who=("${outsider[@]}") rc=0
  [ "${3:-}" = member ] && who=("${member[@]}")
  local env=(env -i HOME="$USER_HOME" PATH=/usr/bin:/bin LANG=C.UTF-8)
  [ "$helper" = unset ] || env+=(BEXO_BIND_HELPER="$helper")
  "${who[@]}" "${env[@]}" \
    "$CLI" --lang en upgrade --ip $MOD --mac "$MAC" --local-ip $HERE --search-timeout 3000 "$bin" \
    > "$out" 2> "$out.err" || rc=$?
  return $rc
}

# 1. A member of the helper's group: the whole image arrives.
start_peer_bg "$E2E_TMP/sim1.log" "$SIM" bootloader --ip $MOD --mac "$MAC" --expect "$bin" \
  --save "$E2E_TMP/got1.img" --once --linger 200
sim=$BG_PID
wait_for_line "$E2E_TMP/sim1.log" 'waiting for the trigger'
as_user "$HELPER" "$E2E_TMP/cli1" member || { cat "$E2E_TMP/cli1" "$E2E_TMP/cli1.err" >&2; fail "upgrade with the helper failed"; }
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
stop $sim

# 4. Even with its capability the helper binds nothing but the upgrade's ports on a local address.
for args in "3 $HERE 80" "3 $HERE 68" "3 10.77.99.1 67" "3 $HERE broadcast:9" "3 $HERE 67 67" "x $HERE 9" "3 $HERE"; do
  rc=0
  # shellcheck disable=SC2086 # the words are the arguments
  "${member[@]}" "$HELPER" $args 3>/dev/null 2> "$E2E_TMP/refusal" || rc=$?
  [ "$rc" -eq 2 ] || fail "helper $args: exit status $rc, not 2"
  grep -q '^usage: bexo-z0-bind FD ADDRESS BINDING' "$E2E_TMP/refusal" || fail "helper $args: no usage"
done

# 5. A user outside the group may not run the helper at all, and the upgrade names the group; a
# trigger never goes out.
start_peer_bg "$E2E_TMP/sim5.log" "$SIM" bootloader --ip $MOD --mac "$MAC" --expect "$bin"
sim=$BG_PID
wait_for_line "$E2E_TMP/sim5.log" 'waiting for the trigger'
rc=0
# Through env: setpriv itself execs while it still holds root's capabilities.
"${outsider[@]}" env "$HELPER" 3 $HERE 67 3>/dev/null 2> "$E2E_TMP/denied" || rc=$?
[ "$rc" -eq 126 ] && grep -q 'Permission denied' "$E2E_TMP/denied" ||
  fail "an outsider ran the helper: status $rc, $(cat "$E2E_TMP/denied")"
as_user "$HELPER" "$E2E_TMP/cli5" && fail "an upgrade by a user outside the helper's group succeeded"
last_line "$E2E_TMP/cli5" ' Upgrade failed!'
err=$(cat "$E2E_TMP/cli5.err")
for want in "cannot bind $HERE port 9: Permission denied" "may be run only by the members of the group $GROUP"; do
  [[ $err == *"$want"* ]] || fail "reason without '$want': $err"
done
# In the upgrade window's words: the group to join and how.
grep -qF "This user may not run the binding helper $HELPER: the user is not in the group $GROUP. Add the user with \"sudo adduser \$USER $GROUP\", then log in again." \
  "$E2E_TMP/cli5" || { cat "$E2E_TMP/cli5" >&2; fail "no word of the helper's group"; }
grep -qi 'as root' "$E2E_TMP/cli5" "$E2E_TMP/cli5.err" && fail "told to run as root"
sleep 0.3
grep -q 'trigger heard' "$E2E_TMP/sim5.log" && fail "a trigger went out although the helper may not be run"
stop $sim

# 6. What a member gets: the sockets of one upgrade on the one address, the broadcast receiver tied
# to that address's interface, and no second set while the first is held.
probe=$E2E_TMP/bind_probe.py
cp "$(dirname "$0")/bind_probe.py" "$probe"
chmod 644 "$probe"
"${member[@]}" /usr/bin/python3 "$probe" "$HELPER" 3 $HERE 9 67 69 40300 broadcast:67 > "$E2E_TMP/probe1" 2>&1 ||
  fail "the probe failed: $(cat "$E2E_TMP/probe1")"
expected="answer: ok 5
$HERE:9 -
$HERE:67 -
$HERE:69 -
$HERE:40300 -
255.255.255.255:67 veth-h63
status: 0"
[ "$(cat "$E2E_TMP/probe1")" = "$expected" ] || fail "the helper handed over: $(cat "$E2E_TMP/probe1")"
start_bg "$E2E_TMP/held" "${member[@]}" /usr/bin/python3 "$probe" --hold "$HELPER" 3 $HERE 67 broadcast:67
holder=$BG_PID
wait_for_line "$E2E_TMP/held" '^holding'
grep -q '^answer: ok 2' "$E2E_TMP/held" || fail "the holder got: $(cat "$E2E_TMP/held")"
"${member[@]}" /usr/bin/python3 "$probe" "$HELPER" 3 $HERE 67 > "$E2E_TMP/probe2" 2>&1 || true
grep -q '^answer: error 0 98$' "$E2E_TMP/probe2" || fail "a second set while the first is held: $(cat "$E2E_TMP/probe2")"
"${member[@]}" /usr/bin/python3 "$probe" "$HELPER" 3 $HERE broadcast:67 > "$E2E_TMP/probe3" 2>&1 || true
grep -q '^answer: error 0 98$' "$E2E_TMP/probe3" || fail "a second receiver while the first is held: $(cat "$E2E_TMP/probe3")"
stop $holder

echo "upgrade_unprivileged: all passed"
