#!/usr/bin/env bash
# The whole test suite: installs what is needed, builds, and runs every test inside a private
# network namespace.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build-test Debug
bash scripts/netns-run.sh ctest --test-dir build-test --output-on-failure -j2
