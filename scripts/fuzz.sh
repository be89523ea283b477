#!/usr/bin/env bash
# fuzz.sh [SECONDS] [NAME...]: builds every fuzz target with clang and runs each (or only the named
# ones, e.g. gbk) from its committed seed corpus for SECONDS (default 20). A crash, a sanitizer
# report or a leak fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift $(( $# > 0 ? 1 : 0 ))
only=" $* "
BEXO_TARGETS=fuzz_all bash scripts/build.sh build-fuzz Debug -DBEXO_BUILD_FUZZ=ON -DBEXO_BUILD_TESTS=OFF \
  -DBEXO_BUILD_GUI=OFF -DBEXO_SANITIZE=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One target per processor at a time: each runs for its own SECONDS of wall time either way.
jobs=${BEXO_FUZZ_JOBS:-$(nproc)}
run_one() { # run_one BIN NAME: its report goes to $work/NAME.report, a failure leaves $work/NAME.failed
  local bin=$1 name=$2
  mkdir -p "$work/$name"
  if ! ASAN_OPTIONS=detect_leaks=1 "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$work/$name-" -print_final_stats=0 "$work/$name" "fuzz/corpus/$name" > "$work/$name.log" 2>&1; then
    { echo "fuzz: $name FAILED"; tail -40 "$work/$name.log"; } > "$work/$name.report"
    touch "$work/$name.failed"
  else
    { echo "fuzz: $name for ${seconds}s"; grep -E '^#[0-9]+.*DONE|Done [0-9]+ runs' "$work/$name.log" | tail -1 || true; } > "$work/$name.report"
  fi
}
names=()
for bin in build-fuzz/fuzz/fuzz_*; do
  [ -f "$bin" ] && [ -x "$bin" ] || continue
  name=$(basename "$bin" | sed 's/^fuzz_//')
  [ "$only" = "  " ] || [[ "$only" == *" $name "* ]] || continue
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_one "$bin" "$name" &
  names+=("$name")
done
wait
status=0
for name in "${names[@]}"; do
  cat "$work/$name.report"
  if [ -e "$work/$name.failed" ]; then
    mkdir -p fuzz-artifacts && cp "$work/$name"-* fuzz-artifacts/ 2>/dev/null || true
    status=1
  fi
done
exit $status
