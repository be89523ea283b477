# The desktop program in a session of its own, for whole-program GUI runs (sourced after lib.sh,
# inside the private namespace): a virtual X server, a session D-Bus, the accessibility bus, and
# bexo-z0 started from a copy in a folder of its own, so that its Cfg.ini and Lang.txt stay out of
# the build folder. Everything started here is stopped at exit, its helpers with it.

GUI_PYTHON=/usr/bin/python3 # Debian's own, which has pyatspi
GUI_DRIVER=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/gui_atspi.py
GUI_PIDS=()

# The tools a GUI run needs; says which are missing (scripts/deps.sh installs them).
gui_missing_tools() {
  local missing=()
  command -v Xvfb > /dev/null || missing+=(xvfb)
  command -v dbus-daemon > /dev/null && command -v dbus-send > /dev/null || missing+=(dbus)
  [ -x /usr/libexec/at-spi-bus-launcher ] || missing+=(at-spi2-core)
  "$GUI_PYTHON" -c 'import pyatspi' 2> /dev/null || missing+=(python3-pyatspi)
  command -v import > /dev/null || missing+=(imagemagick)
  command -v xwininfo > /dev/null || missing+=(x11-utils)
  echo "${missing[*]}"
}

# kill_tree PID: the process and every process below it, the deepest first.
_tree() {
  local child
  for child in $(ps -o pid= --ppid "$1" 2> /dev/null); do _tree "$child"; done
  echo "$1"
}
kill_tree() {
  local p pids
  pids=$(_tree "$1")
  for p in $pids; do kill "$p" 2> /dev/null || true; done
  for p in $pids; do wait "$p" 2> /dev/null || true; done
}

gui_cleanup() {
  local i
  # The program first (it may still be writing its settings), then the session it ran in.
  for ((i = ${#GUI_PIDS[@]} - 1; i >= 0; i--)); do kill_tree "${GUI_PIDS[i]}"; done
  GUI_PIDS=()
  e2e_cleanup
}
trap gui_cleanup EXIT

# start_virtual_display [WxH]: an X server on the first free display; sets DISPLAY.
start_virtual_display() {
  local size=${1:-1280x1024} fd_file=$E2E_TMP/xvfb.display i
  # -displayfd picks a display number nobody uses and writes it when the server is ready.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 "${size}x24" 3> "$fd_file" > "$E2E_TMP/xvfb.log" 2>&1 &
  GUI_PIDS+=($!)
  for ((i = 0; i < 300; i++)); do
    [ -s "$fd_file" ] && break
    sleep 0.1
  done
  [ -s "$fd_file" ] || { cat "$E2E_TMP/xvfb.log" >&2; fail "the virtual X server did not start"; }
  export DISPLAY=:$(head -n 1 "$fd_file")
  unset WAYLAND_DISPLAY XAUTHORITY
}

# start_session_bus: a session D-Bus and, on it, the accessibility bus with its registry.
start_session_bus() {
  local out i
  out=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || fail "no session bus"
  export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<< "$out")
  GUI_PIDS+=("$(sed -n 2p <<< "$out")")
  /usr/libexec/at-spi-bus-launcher --launch-immediately > "$E2E_TMP/atspi.log" 2>&1 &
  GUI_PIDS+=($!)
  for ((i = 0; i < 300; i++)); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
      > /dev/null 2>&1 && return 0
    sleep 0.1
  done
  cat "$E2E_TMP/atspi.log" >&2
  fail "the accessibility bus did not start"
}

# start_gui_session [WxH]: both of the above, and the environment that makes Qt publish its
# widgets.
start_gui_session() {
  local missing
  missing=$(gui_missing_tools)
  [ -z "$missing" ] || fail "missing packages for the GUI run: $missing (bash scripts/deps.sh installs them)"
  start_virtual_display "$@"
  start_session_bus
  export QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}

# start_gui APP_DIR [LANG]: bexo-z0 copied into APP_DIR (English unless LANG is zh), with a home,
# configuration and runtime folder of its own under APP_DIR; sets GUI_PID. The CLI goes beside it,
# so that the texts the driver asks it for come from the program's own Lang.txt. With GUI_AS_USER
# set to UID:GID the program runs as that user (with their groups), and APP_DIR is theirs.
start_gui() {
  local dir=$1 lang=${2:-en} as=()
  mkdir -p "$dir/home" "$dir/run"
  chmod 700 "$dir/run"
  cp "$BIN/bexo-z0" "$BIN/bexo-z0-cli" "$dir/"
  [ -e "$dir/Cfg.ini" ] ||
    printf '[System]\r\nLanguage=%s\r\n' "$([ "$lang" = zh ] && echo 1 || echo 0)" > "$dir/Cfg.ini"
  if [ -n "${GUI_AS_USER:-}" ]; then
    chown -R "$GUI_AS_USER" "$dir"
    as=(setpriv --reuid="${GUI_AS_USER%%:*}" --regid="${GUI_AS_USER#*:}" --init-groups)
  fi
  HOME=$dir/home XDG_CONFIG_HOME=$dir/home/.config XDG_RUNTIME_DIR=$dir/run \
    LSAN_OPTIONS=${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "${BASH_SOURCE[0]}")/lsan-qt-gui.supp \
    "${as[@]}" "$dir/bexo-z0" > "$dir/bexo-z0.log" 2>&1 &
  GUI_PID=$!
  GUI_PIDS+=("$GUI_PID")
}
