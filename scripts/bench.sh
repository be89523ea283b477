#!/usr/bin/env bash
# Builds in release mode and prints every benchmark figure as "NAME: VALUE UNIT", each run inside
# a private network namespace.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build-bench Release -DBEXO_BUILD_BENCH=ON -DBEXO_BUILD_TESTS=OFF > build-bench.log 2>&1 ||
  { tail -30 build-bench.log; exit 1; }
B=build-bench
bash scripts/netns-run.sh bash -c "
  set -euo pipefail
  $B/bench/bench_dispatch
  $B/src/bexo-z0-sim lan --count 1000 --quiet > /dev/null 2>&1 &
  sim=\$!
  trap 'kill \$sim 2>/dev/null || true' EXIT
  sleep 1
  $B/bench/bench_search 127.0.0.1 1000 10000
  # The main window on a virtual display: the same 1000 modules, then floods of 100000 datagrams.
  xvfb-run -a -s '-screen 0 1280x1024x24' $B/bench/bench_gui 127.0.0.1 1000 100000
  # The benchmarks below bring modules of their own: these would answer their searches too.
  kill \$sim; wait \$sim 2>/dev/null || true
  for extra in scripts/bench-*.sh; do [ -f \"\$extra\" ] && bash \"\$extra\" $B; done
"
