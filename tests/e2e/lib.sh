# Shared helpers of the whole-program tests (sourced, not run). Every test runs inside the private
# namespace of the test command; a "peer" is a second namespace of our own joined by a veth pair:
#   here: 10.77.$n.1/24 on veth-h$n      peer: 10.77.$n.2/24 on veth-p$n
set -euo pipefail

BIN=${1:?usage: test.sh BIN_DIR}
CLI=$BIN/bexo-z0-cli
SIM=$BIN/bexo-z0-sim
E2E_TMP=$(mktemp -d)
E2E_PIDS=()

e2e_cleanup() {
  local p
  for p in "${E2E_PIDS[@]:-}"; do [ -n "$p" ] && kill "$p" 2>/dev/null || true; done
  for p in "${E2E_PIDS[@]:-}"; do [ -n "$p" ] && wait "$p" 2>/dev/null || true; done
  rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Refuse to run outside a private namespace: the host's interfaces must not be visible here.
e2e_require_private_netns() {
  if ip -o link show | grep -v -E ': (lo|veth-[hp][0-9]+)[:@]' | grep -q .; then
    fail "not inside a private network namespace (run through scripts/netns-run.sh)"
  fi
}

# make_peer N: a peer namespace joined to this one by a veth pair; sets PEER_PID.
make_peer() {
  local n=$1
  unshare --net -- sleep 100000 &
  PEER_PID=$!
  E2E_PIDS+=("$PEER_PID")
  sleep 0.2
  ip link add "veth-h$n" type veth peer name "veth-p$n" netns "$PEER_PID"
  ip addr add "10.77.$n.1/24" dev "veth-h$n"
  ip link set "veth-h$n" up
  nsenter -t "$PEER_PID" -n ip addr add "10.77.$n.2/24" dev "veth-p$n"
  nsenter -t "$PEER_PID" -n ip link set "veth-p$n" up
  nsenter -t "$PEER_PID" -n ip link set lo up
  nsenter -t "$PEER_PID" -n ip route add 255.255.255.255/32 dev "veth-p$n" 2>/dev/null || true
  ip route add 255.255.255.255/32 dev "veth-h$n" 2>/dev/null || true
}

# add_peer_addresses N COUNT: COUNT more addresses on the peer's veth-p$N, so that simulated modules
# with those IPs answer from addresses of their own; sets PEER_ADDRESSES. They run 10.77.$N.10 to
# .249, then on in 10.78.$N, 10.79.$N ..., which this side reaches through the same pair.
add_peer_addresses() {
  local n=$1 count=$2 i block
  PEER_ADDRESSES=()
  for ((i = 0; i < count; i++)); do
    block=$((i / 240))
    PEER_ADDRESSES+=("10.$((77 + block)).$n.$((10 + i % 240))")
  done
  printf 'addr add %s/32 dev veth-p'"$n"'\n' "${PEER_ADDRESSES[@]}" | nsenter -t "$PEER_PID" -n ip -batch -
  for ((block = 1; block <= (count - 1) / 240; block++)); do
    ip route add "10.$((77 + block)).$n.0/24" dev "veth-h$n" 2>/dev/null || true
  done
}

# peer_modules_config FILE [OPTIONS]: a simulator --config file with one Q2 module on each of
# PEER_ADDRESSES (MACs 02BE0000 then the number in hex), each line ending in OPTIONS.
peer_modules_config() {
  local file=$1 extra=${2:-} i
  : > "$file"
  for ((i = 0; i < ${#PEER_ADDRESSES[@]}; i++)); do
    printf 'mac=02BE%08X,ip=%s,name=Unit-%d%s\n' $((i + 1)) "${PEER_ADDRESSES[$i]}" $((i + 1)) "${extra:+,$extra}" >> "$file"
  done
}

# in_peer CMD...: runs CMD in the peer namespace.
in_peer() { nsenter -t "$PEER_PID" -n -- "$@"; }

# start_bg LOGFILE CMD...: runs CMD (a program, not a shell function) in the background,
# remembered for cleanup; sets BG_PID to the program's own pid.
start_bg() {
  local log=$1; shift
  "$@" > "$log" 2>&1 &
  BG_PID=$!
  E2E_PIDS+=("$BG_PID")
}

# start_peer_bg LOGFILE CMD...: the same, inside the peer namespace.
start_peer_bg() {
  local log=$1; shift
  nsenter -t "$PEER_PID" -n -- "$@" > "$log" 2>&1 &
  BG_PID=$!
  E2E_PIDS+=("$BG_PID")
}

# wait_for_line FILE PATTERN [SECONDS]
wait_for_line() {
  local file=$1 pattern=$2 secs=${3:-10} i
  for ((i = 0; i < secs * 10; i++)); do
    grep -q -E "$pattern" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "--- $file:" >&2; cat "$file" >&2 || true
  fail "timed out waiting for /$pattern/ in $file"
}
