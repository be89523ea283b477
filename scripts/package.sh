#!/usr/bin/env bash
# package.sh [BUILD_DIR]: a Release build (prefix /usr, Debian's hardening flags, no tests) into
# BUILD_DIR (default build-pkg), then the Debian package with CPack; prints the .deb's path as the
# last line. The build's own output goes to BUILD_DIR.log.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-pkg}
log=$dir.log
bash scripts/deps.sh

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
# A compiler launcher named in the environment (ccache) is used as by any CMake build; without
# one the build precompiles the common headers instead.
extra=()

echo "package: building $dir (Release)" >&2
{
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DBEXO_BUILD_TESTS=OFF -DBEXO_BUILD_BENCH=OFF -DBEXO_SANITIZE=OFF -DBEXO_INSTALLED_LAYOUT=ON "${extra[@]}" \
    "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags"
  # As in build.sh: the moc step must look at every header again.
  find "$dir" -path '*_autogen/timestamp' -delete
  cmake --build "$dir"
  rm -f "$dir"/bexo-z0_*.deb
  (cd "$dir" && cpack -G DEB)
} > "$log" 2>&1 || { tail -40 "$log" >&2; echo "package: failed, see $log" >&2; exit 1; }

debs=("$dir"/bexo-z0_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "package: expected one .deb in $dir" >&2; exit 1; }
realpath "${debs[0]}"
