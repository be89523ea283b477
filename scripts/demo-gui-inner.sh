#!/usr/bin/env bash
# demo-gui-inner.sh BIN_DIR: the GUI demo's steps; runs inside the private namespace that demo.sh
# made. Starts the simulated modules, then bexo-z0 on the caller's display, as the desktop user who
# called sudo (SUDO_USER) when there is one, or on a virtual one for the scripted tour.
source "$(dirname "$0")/../tests/e2e/lib.sh"
source "$(dirname "$0")/../tests/e2e/lib_gui.sh"
e2e_require_private_netns

# ---- Who the window runs as: the user behind sudo, not root. Their display and its authority
# (DISPLAY and XAUTHORITY, which sudo keeps) come along; without XAUTHORITY their own
# ~/.Xauthority is named, since the program gets a home of its own.
DESKTOP_UID=0
if [ -n "${SUDO_UID:-}" ] && [ "$SUDO_UID" != 0 ] && getent passwd "$SUDO_UID" > /dev/null; then
  DESKTOP_UID=$SUDO_UID
  DESKTOP_GID=${SUDO_GID:-$(getent passwd "$SUDO_UID" | cut -d: -f4)}
  DESKTOP_NAME=$(getent passwd "$SUDO_UID" | cut -d: -f1)
  desktop_home=$(getent passwd "$SUDO_UID" | cut -d: -f6)
  if [ -n "${DISPLAY:-}" ] && [ -z "${XAUTHORITY:-}" ] && [ -f "$desktop_home/.Xauthority" ]; then
    export XAUTHORITY=$desktop_home/.Xauthority
  fi
fi
# as_desktop_user CMD...: CMD as that user (root when there is none).
as_desktop_user() {
  if [ "$DESKTOP_UID" = 0 ]; then
    "$@"
  else
    setpriv --reuid="$DESKTOP_UID" --regid="$DESKTOP_GID" --init-groups "$@"
  fi
}

# ---- Where the window goes: the caller's display when this process can reach it.
display_reachable() {
  if [ "${BEXO_DEMO_TOUR:-0}" = 1 ]; then
    WHY="BEXO_DEMO_TOUR=1"
    return 1
  fi
  if [ -n "${DISPLAY:-}" ]; then
    # Another network namespace reaches an X server through its socket file only: a display on
    # a host name (ssh forwarding) or an abstract socket alone is out of reach from here.
    if as_desktop_user timeout 10 import -display "$DISPLAY" -window root -crop 1x1+0+0 null: > /dev/null 2>&1; then
      PLATFORM=xcb
      return 0
    fi
    if [ "$DESKTOP_UID" = 0 ]; then
      WHY="the X display $DISPLAY does not accept root (start the demo with sudo from the desktop"
      WHY+=" session, so that the window runs as you)"
    else
      WHY="the X display $DISPLAY does not accept $DESKTOP_NAME with XAUTHORITY=${XAUTHORITY:-unset}"
    fi
  fi
  if [ -n "${WAYLAND_DISPLAY:-}" ]; then
    if as_desktop_user test -S "$WAYLAND_DISPLAY" -a -w "$WAYLAND_DISPLAY" &&
      [ -e /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so ]; then
      PLATFORM=wayland
      return 0
    fi
    WHY="${WHY:+$WHY; }the Wayland socket $WAYLAND_DISPLAY is not reachable"
  fi
  WHY=${WHY:-"neither DISPLAY nor WAYLAND_DISPLAY is set"}
  return 1
}
if display_reachable; then TOUR=0; else TOUR=1; fi

# ---- The simulated modules.
make_peer 1
# The module whose firmware is replaced: its boot loader answers from the module's own address.
in_peer ip addr add 10.77.1.7/24 dev veth-p1
start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan \
  --module mac=001A2B3C4D5E,ip=10.77.1.7,name=Workshop-Q2,version=4017 \
  --module mac=001A2B3C4D5F,ip=10.77.1.8,name=Line-2-Q2,version=4016 \
  --module mac=001A2B3C4D61,ip=10.77.1.9,name=Locked-Q2,version=4017,password=bexo7 \
  --module mac=00A0C5000101,ip=10.77.1.20,name=Gate-Q3,model=q3,version=2002 \
  --module mac=00A0C5000102,ip=10.77.1.21,name=Old-Q2,version=2001
wait_for_line "$E2E_TMP/sim.log" 'listening'

firmware=$E2E_TMP/Q2-firmware.bin
{ printf '\x51\x32\x00\x01'; head -c 262144 /dev/urandom; } > "$firmware"
# Slow acknowledgements, so that the tour can show the transfer under way.
start_peer_bg "$E2E_TMP/loader.log" "$SIM" bootloader --ip 10.77.1.7 --mac 001A2B3C4D5E \
  --expect "$firmware" --delay "$([ $TOUR = 1 ] && echo 25 || echo 5)"
wait_for_line "$E2E_TMP/loader.log" 'waiting for the trigger'

port=$E2E_TMP/ttyBEXO-Q2
start_bg "$E2E_TMP/serial.log" "$SIM" serial --model q2 --link "$port"
wait_for_line "$E2E_TMP/serial.log" '^sim: serial port '
# The port list shows pseudo-terminals named here (the system lists real ports only).
export BEXO_EXTRA_SERIAL_PORTS=$port

cat <<EOF

Simulated modules, in a network namespace of their own behind a veth pair (this side: 10.77.1.1):
  Workshop-Q2  10.77.1.7   00 1A 2B 3C 4D 5E  Q2, version 4017; its boot loader takes an upgrade
  Line-2-Q2    10.77.1.8   00 1A 2B 3C 4D 5F  Q2, version 4016
  Locked-Q2    10.77.1.9   00 1A 2B 3C 4D 61  Q2 with the password bexo7 (File > User config)
  Gate-Q3      10.77.1.20  00 A0 C5 00 01 01  Q3
  Old-Q2       10.77.1.21  00 A0 C5 00 01 02  too old for this tool
A Q2 module on a serial line, configuration pin grounded: $port
  (COM tab; it is in the port list)
A firmware file for Workshop-Q2 (right-click its row > Firmware upgrade): $firmware
EOF

# ---- The program.
app=$E2E_TMP/app
if [ $TOUR = 0 ]; then
  echo
  if [ "$DESKTOP_UID" != 0 ]; then
    # The user reaches what the demo made: the firmware file, the serial port. In this namespace
    # alone the ports below 1024 are every user's, so the window's upgrade binds 9, 67 and 69
    # itself, without root or the binding helper.
    chmod 755 "$E2E_TMP"
    chmod 644 "$firmware"
    chown "$DESKTOP_UID" "$(readlink -f "$port")"
    sysctl -q -w net.ipv4.ip_unprivileged_port_start=0
    export GUI_AS_USER=$DESKTOP_UID:$DESKTOP_GID
    echo "bexo-z0 opens on ${DISPLAY:-$WAYLAND_DISPLAY} as $DESKTOP_NAME; the demo ends when its window is closed."
  else
    echo "bexo-z0 opens on ${DISPLAY:-$WAYLAND_DISPLAY}; the demo ends when its window is closed."
  fi
  unset QT_QPA_PLATFORM
  export QT_QPA_PLATFORM=$PLATFORM
  [ "$PLATFORM" = wayland ] && unset DISPLAY
  start_gui "$app" en
  wait "$GUI_PID" || echo "bexo-z0 ended with status $?: $(tail -5 "$app/bexo-z0.log")"
else
  echo
  echo "No display to open the window on ($WHY):"
  echo "bexo-z0 runs on a virtual display and takes a tour; screenshots follow."
  shots=$(cd "$BIN/.." && pwd)/screenshots/demo
  rm -rf "$shots"
  mkdir -p "$shots"
  unset DISPLAY WAYLAND_DISPLAY
  start_gui_session 1600x1100
  start_gui "$app" en
  if ! "$GUI_PYTHON" "$GUI_DRIVER" --tour --pid "$GUI_PID" --cli "$app/bexo-z0-cli" --shots "$shots" \
    --sim-log "$E2E_TMP/sim.log" \
    --loader-log "$E2E_TMP/loader.log" --firmware "$firmware" --serial-port "$port" \
    search read com chinese upgrade quit; then
    echo "--- bexo-z0:"; cat "$app/bexo-z0.log"
    fail "the tour stopped; its screenshots are in $shots"
  fi
  for ((i = 0; i < 100; i++)); do kill -0 "$GUI_PID" 2> /dev/null || break; sleep 0.1; done
  echo
  echo "Screenshots of the tour (in $shots):"
  ls "$shots"/*.png | sed 's/^/  /'
fi

echo
echo "What the simulated LAN modules received:"
sed 's/^/  /' "$E2E_TMP/sim.log"
echo "What the boot loader saw:"
sed 's/^/  /' "$E2E_TMP/loader.log"
echo "What the serial module heard:"
sed 's/^/  /' "$E2E_TMP/serial.log"
