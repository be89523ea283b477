#!/usr/bin/env bash
# The main job: builds, then runs the CLI against simulated modules in a private network
# namespace of its own (removed when the demo ends): a LAN of Q2, Q3 and old modules behind a
# veth pair, searched and read.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build Release > build.log 2>&1 || { tail -30 build.log; exit 1; }
exec bash scripts/netns-run.sh bash scripts/demo-inner.sh build/src
