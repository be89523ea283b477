#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests, the fuzzers and the benchmarks need.
# Silent when they are all present. Otherwise a few progress lines; the package manager's own output
# goes to a log file, whose path is printed when something fails.
set -euo pipefail

# One group per line; add packages to the group they serve.
packages=(
  cmake ninja-build g++ pkg-config binutils
  dpkg-dev lintian desktop-file-utils appstream libcap2-bin groff-base adduser
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-serialport-dev qt6-translations-l10n fonts-wqy-microhei
  iproute2 util-linux procps python3
  xvfb xauth x11-utils at-spi2-core dbus dbus-x11 python3-pyatspi imagemagick qt6-wayland
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

log=$(mktemp "${TMPDIR:-/tmp}/bexo-deps.XXXXXX.log")
# step WHAT COMMAND...: one progress line; the command's output goes into the log.
step() {
  local what=$1; shift
  echo "deps.sh: $what..."
  echo "### $*" >> "$log"
  if ! "$@" >> "$log" 2>&1; then
    echo "deps.sh: $what failed; the package manager's output is in $log" >&2
    tail -n 5 "$log" | sed 's/^/  /' >&2
    exit 1
  fi
}

export DEBIAN_FRONTEND=noninteractive
echo "deps.sh: ${#missing[@]} package(s) to install, which can take a few minutes: ${missing[*]}"
step "updating the package lists" apt-get update
step "installing them" apt-get install -y --no-install-recommends "${missing[@]}"
echo "deps.sh: done"
rm -f "$log"
