#!/usr/bin/env bash
# The command-line demo: installs what is needed, builds, then runs bexo-z0-cli against simulated
# modules in a private network namespace of its own (removed when the demo ends): a LAN of Q2, Q3
# and old modules behind a veth pair searched, read, written, restarted and exported; Q2 and Q1
# modules on pseudo-terminals read and written over the serial line; a firmware upgrade of a
# simulated boot loader. Only the programs it runs are built.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
BEXO_TARGETS="bexo-z0-cli bexo-z0-sim" bash scripts/build.sh build Release > build.log 2>&1 ||
  { tail -30 build.log; exit 1; }
exec bash scripts/netns-run.sh bash scripts/demo-inner.sh build/src
