#!/usr/bin/env bash
# The desktop program as a whole, in a real X window on a virtual display, driven through the
# accessibility interface the way a user or a screen reader meets it (gui_atspi.py): a search
# lists the simulated modules behind a veth pair; clicking a Q2 row fills its page; a changed name
# and local port saved with "Save Config" reach the module as exactly those bytes; a module with
# another password opens the login dialog, and its password entered there reads it; the COM tab
# reads a simulated Q2 module on a pseudo-terminal onto the page; Chinese replaces the captions;
# the upgrade window brings the simulated boot loader to success, and its fleet view two modules
# chosen with Ctrl. Three rows chosen with Ctrl are restarted together, each with its result in
# its row; a row whose IP another module answers with warns; a search by address finds a module
# behind a router; a profile the CLI saved, applied from the File menu to two modules, brings each
# exactly the profile's settings. The screenshots along the way stay in BUILD/screenshots/gui_atspi.
# BEXO_GUI_STEPS runs only the steps named (gui_atspi.py lists them), for working on one of them.

# The program searches on every interface it has: in a namespace of its own inside the suite's,
# no other test's modules answer it and no other test hears its searches.
if [ "${BEXO_GUI_ATSPI_NETNS:-}" != 1 ]; then
  export BEXO_GUI_ATSPI_NETNS=1
  exec unshare --net -- bash -c 'ip link set lo up && exec bash "$@"' gui_atspi "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib_gui.sh"
e2e_require_private_netns
started=$(date +%s)

SHOTS=$(cd "$BIN/.." && pwd)/screenshots/gui_atspi
rm -rf "$SHOTS"
mkdir -p "$SHOTS"

# Under AddressSanitizer the program is several times slower; the deadlines stretch with it.
if grep -q -a __asan_init "$BIN/bexo-z0"; then
  export BEXO_GUI_TIME_SCALE=4
  # The X keyboard library hands strndup a name without a terminator (strndup reads no further
  # than told, but the strict check reads on): not ours, and our own string reads are checked by
  # the widget tests. Leaks are still looked for when the program ends.
  export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0
fi

# The modules: a Q2 to read, write and upgrade, a Q2 with another password, a Q3. The upgraded
# module's boot loader answers from the module's own address.
make_peer 80
in_peer ip addr add 10.77.80.7/24 dev veth-p80
in_peer ip addr add 10.77.80.9/24 dev veth-p80
# Three more Q2 modules: a profile saved from the first goes to the other two.
for host in 11 12 13; do in_peer ip addr add 10.77.80.$host/24 dev veth-p80; done
start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan --state "$E2E_TMP/sim.state" \
  --module mac=001A2B3C4D5E,ip=10.77.80.7,name=Workshop-Q2,version=4017 \
  --module mac=001A2B3C4D61,ip=10.77.80.9,name=Locked-Q2,version=4017,password=bexo7 \
  --module mac=001A2B3C4D81,ip=10.77.80.11,name=Pump-1,version=4017 \
  --module mac=001A2B3C4D82,ip=10.77.80.12,name=Pump-2,version=4017 \
  --module mac=001A2B3C4D83,ip=10.77.80.13,name=Pump-3,version=4017 \
  --module mac=00A0C5000101,ip=10.77.80.20,name=Gate-Q3,model=q3,version=2002
wait_for_line "$E2E_TMP/sim.log" 'listening'
firmware=$E2E_TMP/Q2-firmware.bin
{ printf '\x51\x32\x00\x01'; head -c 40000 /dev/urandom; } > "$firmware"
# Two boot loaders: the first module's for the upgrade of one module and, with the second
# (which writes its flash slowly), for the fleet view's upgrade of both.
start_peer_bg "$E2E_TMP/loader.log" "$SIM" bootloader --expect "$firmware" \
  --loader "ip=10.77.80.7,mac=001A2B3C4D5E,save=$E2E_TMP/received.img" \
  --loader "ip=10.77.80.9,mac=001A2B3C4D61,save=$E2E_TMP/received2.img,delay=25"
for ((i = 0; i < 100; i++)); do
  [ "$(grep -c 'waiting for the trigger' "$E2E_TMP/loader.log")" -eq 2 ] && break
  sleep 0.1
done
wait_for_line "$E2E_TMP/loader.log" '10.77.80.9: .*waiting for the trigger'
# A Q2 module on a pseudo-terminal, in the port list through BEXO_EXTRA_SERIAL_PORTS.
port=$E2E_TMP/ttyBEXO-Q2
start_bg "$E2E_TMP/serial.log" "$SIM" serial --model q2 --link "$port"
wait_for_line "$E2E_TMP/serial.log" '^sim: serial port '
# A Q1 module on another one.
port_q1=$E2E_TMP/ttyBEXO-Q1
start_bg "$E2E_TMP/serial-q1.log" "$SIM" serial --model q1 --link "$port_q1"
wait_for_line "$E2E_TMP/serial-q1.log" '^sim: serial port '
export BEXO_EXTRA_SERIAL_PORTS=$port:$port_q1

# For the actions on several rows: three modules restarted together, and a fourth answering with
# the first one's address (its row carries the duplicate-IP warning).
make_peer 81
start_peer_bg "$E2E_TMP/sim-fleet.log" "$SIM" lan \
  --module mac=001A2B3C4D71,ip=10.77.81.11,name=Fleet-1 \
  --module mac=001A2B3C4D72,ip=10.77.81.12,name=Fleet-2 \
  --module mac=001A2B3C4D73,ip=10.77.81.13,name=Fleet-3 \
  --module mac=001A2B3C4D74,ip=10.77.81.11,name=Twin-1
wait_for_line "$E2E_TMP/sim-fleet.log" 'listening'
# A module behind a router, which only a search sent to its address finds:
#   here 10.77.82.1 (veth-h82) -- router 10.77.82.2 | 10.77.83.1 -- module 10.77.83.20
new_ns() { unshare --net -- sleep 100000 & NS_PID=$!; E2E_PIDS+=("$NS_PID"); sleep 0.2; }
new_ns; ROUTER=$NS_PID
new_ns; FAR=$NS_PID
ip link add veth-h82 type veth peer name veth-r82 netns "$ROUTER"
ip addr add 10.77.82.1/24 dev veth-h82
ip link set veth-h82 up
ip route add 10.77.83.0/24 via 10.77.82.2
nsenter -t "$ROUTER" -n sh -c '
  ip link set lo up
  ip addr add 10.77.82.2/24 dev veth-r82 && ip link set veth-r82 up
  sysctl -q -w net.ipv4.ip_forward=1'
nsenter -t "$ROUTER" -n ip link add veth-r83 type veth peer name veth-far netns "$FAR"
nsenter -t "$ROUTER" -n sh -c 'ip addr add 10.77.83.1/24 dev veth-r83 && ip link set veth-r83 up'
nsenter -t "$FAR" -n sh -c '
  ip link set lo up
  ip addr add 10.77.83.2/24 dev veth-far && ip link set veth-far up
  ip addr add 10.77.83.20/32 dev veth-far
  ip route add default via 10.77.83.1
  ip route add 255.255.255.255/32 dev veth-far'
nsenter -t "$FAR" -n -- "$SIM" lan --module mac=001A2B3C4D90,ip=10.77.83.20,name=Far-Q2 > "$E2E_TMP/sim-far.log" 2>&1 &
E2E_PIDS+=("$!")
wait_for_line "$E2E_TMP/sim-far.log" 'listening'

start_gui_session 1600x1200
start_gui "$E2E_TMP/app" en

set +e
"$GUI_PYTHON" "$GUI_DRIVER" --pid "$GUI_PID" --cli "$E2E_TMP/app/bexo-z0-cli" --net 10.77.80 \
  --shots "$SHOTS" --sim-log "$E2E_TMP/sim.log" --sim-fleet-log "$E2E_TMP/sim-fleet.log" \
  --sim-state "$E2E_TMP/sim.state" \
  --loader-log "$E2E_TMP/loader.log" --firmware "$firmware" --serial-port "$port" \
  --serial-port-q1 "$port_q1" --serial-q1-log "$E2E_TMP/serial-q1.log" \
  ${BEXO_GUI_STEPS:-search several range read save profile login com comq1 titles chinese titles upgrade fleet quit}
rc=$?
set -e
if [ $rc -ne 0 ]; then
  echo "--- bexo-z0 output:" >&2; cat "$E2E_TMP/app/bexo-z0.log" >&2
  echo "--- simulated modules:" >&2; cat "$E2E_TMP/sim.log" "$E2E_TMP/sim-fleet.log" "$E2E_TMP/sim-far.log" >&2
  echo "--- boot loader:" >&2; cat "$E2E_TMP/loader.log" >&2
  fail "the GUI run failed; screenshots in $SHOTS"
fi

# Quit closes the window and ends the program, which writes its settings on the way out.
for ((i = 0; i < 300; i++)); do kill -0 "$GUI_PID" 2> /dev/null || break; sleep 0.1; done
kill -0 "$GUI_PID" 2> /dev/null && fail "bexo-z0 did not end after Quit"
wait "$GUI_PID" || fail "bexo-z0 ended with status $?: $(cat "$E2E_TMP/app/bexo-z0.log")"
if [ -z "${BEXO_GUI_STEPS:-}" ]; then
  grep -q '^Language=1' "$E2E_TMP/app/Cfg.ini" || fail "the language choice was not kept: $(cat "$E2E_TMP/app/Cfg.ini")"
  same=$(cmp <(tail -c +5 "$firmware") "$E2E_TMP/received.img" && echo yes)
  [ "$same" = yes ] || fail "the boot loader received another image"
  same=$(cmp <(tail -c +5 "$firmware") "$E2E_TMP/received2.img" && echo yes)
  [ "$same" = yes ] || fail "the second boot loader received another image in the fleet view"
fi

echo "screenshots:"
ls "$SHOTS"/*.png | sed 's/^/  /'
echo "gui_atspi: all passed in $(( $(date +%s) - started )) s"
