#!/usr/bin/env bash
# The main job: installs what is needed, builds, and opens the desktop program bexo-z0 against
# simulated modules in a private network namespace of its own (removed when the demo ends): Q2 and
# Q3 modules behind a veth pair, the boot loader of one of them, a Q2 module on a pseudo-terminal.
# Nothing reaches a real network.
#
# With a display (DISPLAY, or WAYLAND_DISPLAY, of a session this root process may use) the window
# appears there and the demo lasts until it is closed. Without one, the program runs on a virtual
# display and takes a scripted tour (search, a Q2 module read onto its page, the COM tab, Chinese,
# a firmware upgrade); the screenshots' paths are printed. BEXO_DEMO_TOUR=1 takes the tour even
# with a display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
echo "demo.sh: building (Release; the log is build.log)..."
bash scripts/build.sh build Release > build.log 2>&1 || { tail -30 build.log; exit 1; }

# A Wayland socket named relative to the desktop user's runtime folder, made absolute here: the
# program gets a runtime folder of its own.
if [ -n "${WAYLAND_DISPLAY:-}" ] && [ "${WAYLAND_DISPLAY#/}" = "$WAYLAND_DISPLAY" ] &&
  [ -n "${XDG_RUNTIME_DIR:-}" ]; then
  export WAYLAND_DISPLAY=$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY
fi
exec bash scripts/netns-run.sh bash scripts/demo-gui-inner.sh build/src
