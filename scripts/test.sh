#!/usr/bin/env bash
# The whole test suite: installs what is needed, builds, and runs every test inside a private
# network namespace -- once as built for debugging, once under AddressSanitizer and
# UndefinedBehaviorSanitizer -- then every fuzz target for a bounded time from its seed corpus, and
# last the Debian package: built, checked, installed, used as a user and removed.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
bash scripts/deps.sh

passed=0
failed=0
run_suite() { # run_suite BUILD_DIR LABEL
  local log
  log=$(mktemp)
  set +e
  bash scripts/netns-run.sh ctest --test-dir "$1" --output-on-failure -j2 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  set -e
  local total fails
  total=$(grep -E -o 'tests failed out of [0-9]+' "$log" | grep -E -o '[0-9]+$' || echo 0)
  fails=$(grep -E -o '[0-9]+ tests failed out of' "$log" | grep -E -o '^[0-9]+' || echo 0)
  rm -f "$log"
  passed=$((passed + total - fails))
  failed=$((failed + fails))
  echo "$2: $((total - fails)) passed, $fails failed"
  return "$rc"
}

# Each phase says how long it took, so the suite's time stays in view.
phase_start=$start
phase() { local now; now=$(date +%s); echo "time: $1 took $((now - phase_start)) s"; phase_start=$now; }
phase "installing what is needed"

status=0
bash scripts/build.sh build-test Debug
phase "debug build"
run_suite build-test debug || status=1
phase "debug suite"

bash scripts/build.sh build-asan Debug -DBEXO_SANITIZE=ON
phase "sanitizer build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build-asan sanitizers || status=1
phase "sanitizer suite"

if bash scripts/netns-run.sh bash scripts/fuzz.sh "${BEXO_FUZZ_SECONDS:-20}"; then
  echo "fuzz: all targets clean"
else
  echo "fuzz: a target failed"
  failed=$((failed + 1))
  status=1
fi
phase "fuzzing (build and run)"

if bash scripts/package-check.sh; then
  echo "package: all checks passed"
else
  echo "package: a check failed"
  failed=$((failed + 1))
  status=1
fi
phase "package (build and checks)"

echo "test command took $(( $(date +%s) - start )) s"
echo "summary: $passed passed, $failed failed"
exit $status
