#!/usr/bin/env bash
# bench-flood.sh [BUILD_DIR]: bexo-z0-cli search while a peer across a veth pair answers it with
# 10000 forged replies in one second, all from one address, each with a MAC of its own. Prints how
# long the search took beyond its wait, its peak memory, the rows it kept and the bytes it printed;
# the worst of the runs (the bound is what matters here).
# scripts/bench.sh calls it with its release build, inside its namespace; alone, it builds
# build-bench and makes a namespace of its own.
source "$(dirname "$0")/lib-bench.sh"
RUNS=${BENCH_FLOOD_RUNS:-3}
WAIT=1500
FORGED=10000
source tests/e2e/lib.sh "$B/src"
e2e_require_private_netns
make_peer 71
worst() { sort -g | tail -n 1; }

: > "$E2E_TMP/runs"
for ((i = 0; i < RUNS; i++)); do
  start_peer_bg "$E2E_TMP/forged$i.log" python3 tests/e2e/forged_replies.py --ip 10.77.71.66 --count $FORGED \
    --seconds 1 "$E2E_TMP/forged$i.out"
  wait_for_line "$E2E_TMP/forged$i.out" 'ready'
  /usr/bin/time -f '%e %M' -o "$E2E_TMP/time$i" "$CLI" --interface 10.77.71.1 --wait $WAIT search \
    > "$E2E_TMP/out$i" 2> /dev/null || { echo "search failed" >&2; exit 1; }
  wait_for_line "$E2E_TMP/forged$i.out" 'sent'
  read -r secs kib < "$E2E_TMP/time$i"
  rows=$(grep -c -v '^  warning: ' "$E2E_TMP/out$i" || true)
  echo "$secs $kib $rows $(wc -c < "$E2E_TMP/out$i")" >> "$E2E_TMP/runs"
done

over=$(awk -v w=$WAIT '{ printf "%.0f\n", $1 * 1000 - w }' "$E2E_TMP/runs" | worst)
rss=$(awk '{ printf "%.1f\n", $2 / 1024 }' "$E2E_TMP/runs" | worst)
rows=$(awk '{ print $3 }' "$E2E_TMP/runs" | worst)
bytes=$(awk '{ print $4 }' "$E2E_TMP/runs" | worst)
echo "cli_reply_flood_${FORGED}_search_beyond_wait: $over ms"
echo "cli_reply_flood_peak_rss: $rss MiB"
echo "cli_reply_flood_rows_kept: $rows rows"
echo "cli_reply_flood_output: $(( bytes / 1024 )) KiB"
