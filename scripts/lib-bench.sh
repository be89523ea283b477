# Sourced first by each benchmark script. With BUILD_DIR (scripts/bench.sh passes its release build,
# inside its namespace) it sets B and goes on; alone, the script builds build-bench and runs itself
# again inside a namespace of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -eq 0 ]; then
  bash scripts/build.sh build-bench Release -DBEXO_BUILD_BENCH=ON -DBEXO_BUILD_TESTS=OFF > build-bench.log 2>&1 ||
    { tail -30 build-bench.log; exit 1; }
  exec bash scripts/netns-run.sh bash "$0" build-bench
fi
B=$1
