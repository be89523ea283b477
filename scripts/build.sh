#!/usr/bin/env bash
# build.sh DIR [BUILD_TYPE] [extra cmake options...]: configures and builds into DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
type=${2:-Debug}
shift $(( $# > 2 ? 2 : $# ))
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" > "$dir.configure.log" 2>&1 ||
  { cat "$dir.configure.log" >&2; exit 1; }
cmake --build "$dir"
