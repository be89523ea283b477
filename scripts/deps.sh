#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests, the fuzzers and the benchmarks need.
# Does nothing when they are all present.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config binutils
  dpkg-dev lintian desktop-file-utils libcap2-bin
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-serialport-dev fonts-wqy-microhei
  iproute2 util-linux procps python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "deps.sh: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
