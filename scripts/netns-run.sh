#!/usr/bin/env bash
# netns-run.sh COMMAND...: runs COMMAND in a private network namespace of its own, with only
# loopback up, so that nothing it sends can reach a real network.
set -euo pipefail
if [ "${BEXO_IN_NETNS:-}" = "1" ]; then
  exec "$@"
fi
export BEXO_IN_NETNS=1
exec unshare --net -- bash -c 'ip link set lo up && exec "$@"' netns-run "$@"
