#!/usr/bin/env bash
# build.sh DIR [BUILD_TYPE] [extra cmake options...]: configures and builds into DIR; everything,
# or only the targets that BEXO_TARGETS names (separated by blanks).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
type=${2:-Debug}
shift $(( $# > 2 ? 2 : $# ))
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" > "$dir.configure.log" 2>&1 ||
  { cat "$dir.configure.log" >&2; exit 1; }
# A header that gains Q_OBJECT after the first build is not noticed by the moc step on its own;
# re-running that step each time is cheap (it keeps a cache) and always right.
find "$dir" -path '*_autogen/timestamp' -delete 2>/dev/null || true
# shellcheck disable=SC2086 # the words are the targets
cmake --build "$dir" ${BEXO_TARGETS:+--target $BEXO_TARGETS}
