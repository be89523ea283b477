#!/usr/bin/env bash
# package-check.sh [BUILD_DIR]: builds the Debian package (scripts/package.sh) and checks it: its
# files, lintian (no errors; everything it says is shown), desktop-file-validate, the manual pages
# (rendered without a groff warning, and up to date with the programs' --help); then, as root,
# installs it, runs the installed programs as an unprivileged user (version, where the user's files
# go, a firmware upgrade on loopback through the installed binding helper) and removes it again.
# Runs inside a private network namespace of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${BEXO_IN_NETNS:-}" = 1 ] || exec bash scripts/netns-run.sh bash "$0" "$@"

deb=$(bash scripts/package.sh "${1:-build-pkg}" | tail -n 1)
echo "package: $deb"
work=$(mktemp -d)
chmod 755 "$work"
installed=0
pids=()
cleanup() {
  local p
  for p in "${pids[@]:-}"; do [ -n "$p" ] && { kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; }; done
  if [ $installed -eq 1 ]; then
    apt-get remove --purge -y bexo-z0 > "$work/remove.log" 2>&1 || { cat "$work/remove.log"; echo "package: FAIL: removal"; }
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package: FAIL: $*" >&2; exit 1; }

# 1. What it holds. The helper is an ordinary executable: its capability comes from the install
# script, never a setuid bit.
dpkg-deb -c "$deb" > "$work/contents"
helper=/usr/libexec/bexo-z0/bexo-z0-bind
for f in /usr/bin/bexo-z0 /usr/bin/bexo-z0-cli /usr/bin/bexo-z0-sim $helper \
         /usr/share/applications/bexo-z0.desktop /usr/share/icons/hicolor/scalable/apps/bexo-z0.svg \
         /usr/share/icons/hicolor/{16x16,32x32,48x48,256x256}/apps/bexo-z0.png \
         /usr/share/man/man1/{bexo-z0,bexo-z0-cli,bexo-z0-sim}.1.gz \
         /usr/share/doc/bexo-z0/copyright /usr/share/doc/bexo-z0/changelog.gz; do
  grep -q " \.$f\$" "$work/contents" || fail "$f is not in the package"
done
grep -E "^-rwxr-xr-x .* \.$helper\$" "$work/contents" > /dev/null || fail "$helper is not plain 0755"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6core6' || fail "no computed shared-library dependencies"

# 2. lintian: errors fail, warnings and notes are listed.
lintian --display-info "$deb" > "$work/lintian" 2>&1 || true
grep -v 'running with root privileges' "$work/lintian" | sed 's/^/lintian: /' || true
errors=$(grep -c '^E:' "$work/lintian" || true)
echo "package: lintian: $errors errors, $(grep -c '^W:' "$work/lintian" || true) warnings, $(grep -c '^I:' "$work/lintian" || true) notes"
[ "$errors" -eq 0 ] || fail "lintian reports errors"

# 3. The desktop entry, and the icon it names.
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/bexo-z0.desktop" || fail "desktop-file-validate"
icon=$(sed -n 's/^Icon=//p' "$work/root/usr/share/applications/bexo-z0.desktop")
[ -f "$work/root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon $icon is missing"

# Without setcap (or on a file system without file capabilities) the install still succeeds, and
# says how to give the helper its capability.
dpkg-deb -e "$deb" "$work/control"
env PATH=/usr/bin:/bin sh "$work/control/postinst" configure > "$work/postinst.out" 2>&1 ||
  fail "the install script fails without setcap"
grep -q "setcap cap_net_bind_service=ep $helper" "$work/postinst.out" || fail "no note without setcap"

# 4. The manual pages: configured (no @NAME@ left), rendered without a groff warning, and naming
# every command, option and simulator mode the packaged programs list in their --help.
man1=$work/root/usr/share/man/man1
for page in "$man1"/*.1.gz; do
  ! zgrep -q '@[A-Z_]*@' "$page" || fail "$(basename "$page") holds an unconfigured @NAME@"
done
python3 scripts/manpage-check.py "$man1" "$work/root/usr/bin" | sed 's/^/package: /' ||
  fail "the manual pages (scripts/manpage-check.py)"

# 5. Installed, as a user.
if [ "$(id -u)" -ne 0 ]; then
  echo "package: NOTICE: not root, so the package was not installed; install, user and removal checks skipped"
  exit 0
fi
if dpkg-query -W -f='${Status}' bexo-z0 2>/dev/null | grep -q 'install ok installed'; then
  echo "package: NOTICE: bexo-z0 is already installed here; left alone, install checks skipped"
  exit 0
fi
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" > "$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install"; }
getcap $helper | grep -q 'cap_net_bind_service=ep' || fail "the install script did not give $helper its capability"
[ "$(stat -c %a $helper)" = 755 ] || fail "$helper is not 0755 once installed"

home=$work/home
mkdir "$home"
chown 65534:65534 "$home"
user() { setpriv --reuid=65534 --regid=65534 --clear-groups env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

version=$(user bexo-z0-cli --version) || fail "bexo-z0-cli --version as a user"
[ "$version" = "Bexo-Z0 V$(dpkg-deb -f "$deb" Version)" ] || fail "version '$version'"
[ -f "$home/.config/bexo-z0/Lang.txt" ] || fail "Lang.txt is not in the user's configuration folder"
for f in Cfg.ini Lang.txt; do [ ! -e /usr/bin/$f ] || fail "/usr/bin/$f was written"; done

# The desktop program starts (offscreen) with what the package depends on: still up after 3 s, or
# done without an error.
rc=0
user env QT_QPA_PLATFORM=offscreen timeout 3 bexo-z0 > "$work/gui.out" 2>&1 || rc=$?
[ $rc -eq 124 ] || [ $rc -eq 0 ] || { cat "$work/gui.out"; fail "bexo-z0 as a user ended with status $rc"; }

# The export of a simulated module found on loopback lands in the user's home.
bexo-z0-sim lan --module mac=001A2B3C4D5E,ip=127.0.0.1,name=Packaged > "$work/lan.log" 2>&1 &
pids+=($!)
sleep 0.5
exported=$(user bexo-z0-cli --lang en --interface 127.0.0.1 export 2> "$work/export.err" | tail -n 1) ||
  { cat "$work/export.err"; fail "export as a user"; }
case $exported in "$home"/Documents/*) ;; *) fail "the export went to $exported, not the user's documents folder" ;; esac
[ -f "$exported" ] && [ "$(stat -c %u "$exported")" = 65534 ] || fail "no export file owned by the user at $exported"
echo "package: as a user: settings and language file in ~/.config/bexo-z0, export at ${exported#"$home"/}"

# Root too leaves the program's folder to the package manager.
roothome=$work/roothome
mkdir "$roothome"
HOME=$roothome bexo-z0-cli --lang en --interface 127.0.0.1 export > "$work/export-root.out" 2>&1 ||
  { cat "$work/export-root.out"; fail "export as root"; }
for f in Cfg.ini Lang.txt; do [ ! -e /usr/bin/$f ] || fail "/usr/bin/$f was written by root"; done
grep -q "^$roothome/Documents/" "$work/export-root.out" || fail "root's export is not in its documents folder: $(cat "$work/export-root.out")"

# A firmware upgrade of the simulated boot loader on the standard ports, through the installed helper.
bin=$work/fw.bin
{ printf '\x51\x32\x00\x01'; head -c 5000 /dev/urandom; } > "$bin"
chmod 644 "$bin"
bexo-z0-sim bootloader --ip 127.0.0.1 --mac 020000000001 --expect "$bin" --once --linger 200 > "$work/loader.log" 2>&1 &
loader=$!
pids+=($loader)
for _ in $(seq 50); do grep -q 'waiting for the trigger' "$work/loader.log" && break; sleep 0.1; done
user bexo-z0-cli --lang en upgrade --ip 127.0.0.1 --mac 020000000001 --local-ip 127.0.0.1 "$bin" > "$work/upgrade.out" 2>&1 ||
  { cat "$work/upgrade.out"; fail "upgrade as a user through the installed helper"; }
wait $loader || { cat "$work/loader.log"; fail "the boot loader's verdict"; }
echo "package: as a user: firmware upgrade on ports 9, 67, 69 through $helper"

installed=0
apt-get remove --purge -y bexo-z0 > "$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "apt-get remove"; }
[ ! -e /usr/bin/bexo-z0-cli ] && [ ! -e /usr/libexec/bexo-z0 ] || fail "files left after the removal"
echo "package: installed, used as a user and removed"
