#!/usr/bin/env bash
# The main job: installs what is needed, builds, and opens the desktop program bexo-z0 against
# simulated modules in a private network namespace of its own (removed when the demo ends): Q2 and
# Q3 modules behind a veth pair, the boot loader of one of them, a Q2 module on a pseudo-terminal.
# Nothing reaches a real network.
#
# Started with sudo from a desktop session, the window appears on that display (DISPLAY, or
# WAYLAND_DISPLAY) as the user who called sudo, and the demo lasts until it is closed; only the
# namespace and the simulated modules are root's. Without a reachable display, the program runs on a
# virtual one and takes a scripted tour (search, a Q2 module read onto its page, the COM tab,
# Chinese, a firmware upgrade); the screenshots' paths are printed. BEXO_DEMO_TOUR=1 takes the tour
# even with a display. Only the programs the demo runs are built, no tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
echo "demo.sh: building the programs (Release; the log is build.log)..."
BEXO_TARGETS="bexo-z0 bexo-z0-cli bexo-z0-sim" bash scripts/build.sh build Release > build.log 2>&1 ||
  { tail -30 build.log; exit 1; }

# A Wayland socket named relative to the desktop user's runtime folder, made absolute here: the
# program gets a runtime folder of its own.
if [ -n "${WAYLAND_DISPLAY:-}" ] && [ "${WAYLAND_DISPLAY#/}" = "$WAYLAND_DISPLAY" ] &&
  [ -n "${XDG_RUNTIME_DIR:-}" ]; then
  export WAYLAND_DISPLAY=$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY
fi
exec bash scripts/netns-run.sh bash scripts/demo-gui-inner.sh build/src
