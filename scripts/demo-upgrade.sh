#!/usr/bin/env bash
# demo-upgrade.sh BIN_DIR: the demo's firmware upgrade. A simulated module's boot loader waits in a
# second namespace behind a veth pair; the CLI wakes it, answers its BOOTP request and serves a
# generated .bin over TFTP; the loader compares what it received with the file. Runs inside the
# private namespace that the demo made.
source "$(dirname "$0")/../tests/e2e/lib.sh"
e2e_require_private_netns
make_peer 2

say() { printf '\n\033[1m$ %s\033[0m\n' "$*"; }

bin=$E2E_TMP/Q2-firmware.bin
{ printf '\x51\x32\x00\x01'; head -c 262144 /dev/urandom; } > "$bin"
echo
echo "A generated firmware file: identifier 51 32 00 01 and 256 KiB of image."
start_peer_bg "$E2E_TMP/loader.log" "$SIM" bootloader --ip 10.77.2.2 \
  --mac "00 1A 2B 3C 4D 5E" --expect "$bin" --save "$E2E_TMP/received.img" --drop-acks 2 --once --linger 500
loader=$BG_PID
wait_for_line "$E2E_TMP/loader.log" 'waiting for the trigger'
echo "A simulated boot loader (10.77.2.2, MAC 00 1A 2B 3C 4D 5E) waits behind a veth pair; it drops its"
echo "first two acknowledgements, so the upgrade has to send those blocks again."

say "bexo-z0-cli upgrade --ip 10.77.2.2 --mac '00 1A 2B 3C 4D 5E' --local-ip 10.77.2.1 --block-timeout 500 Q2-firmware.bin"
"$CLI" upgrade --ip 10.77.2.2 --mac "00 1A 2B 3C 4D 5E" --local-ip 10.77.2.1 --block-timeout 500 "$bin"
wait "$loader"

echo
echo "What the boot loader saw:"
sed 's/^/  /' "$E2E_TMP/loader.log"
cmp <(tail -c +5 "$bin") "$E2E_TMP/received.img" && echo "  received image = the file after its identifier, byte for byte"
