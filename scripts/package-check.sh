#!/usr/bin/env bash
# package-check.sh [BUILD_DIR]: builds the Debian package (scripts/package.sh) and checks it: its
# files, lintian (no errors or warnings; everything it says is shown), desktop-file-validate, the AppStream
# metadata (appstreamcli), the manual pages (rendered without a groff warning, and up to date with
# the programs' --help); then, as root, installs it, runs the installed programs as unprivileged
# users (version, where the user's files go; a firmware upgrade on loopback through the installed
# binding helper by a member of the group bexo-z0, and what a user outside the group is told),
# upgrades it over an administrator's own owner and mode of the helper, and removes and purges it.
# Runs inside a private network namespace of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${BEXO_IN_NETNS:-}" = 1 ] || exec bash scripts/netns-run.sh bash "$0" "$@"

deb=$(bash scripts/package.sh "${1:-build-pkg}" | tail -n 1)
echo "package: $deb"
work=$(mktemp -d)
chmod 755 "$work"
installed=0
made_group=0
group=bexo-z0
pids=()
cleanup() {
  local p
  for p in "${pids[@]:-}"; do [ -n "$p" ] && { kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; }; done
  if [ $installed -eq 1 ]; then
    apt-get remove --purge -y bexo-z0 > "$work/remove.log" 2>&1 || { cat "$work/remove.log"; echo "package: FAIL: removal"; }
  fi
  # The package leaves its system group behind, as it should; the group this check made goes.
  if [ $made_group -eq 1 ] && getent group $group > /dev/null; then
    delgroup --quiet --system $group > /dev/null 2>&1 || echo "package: NOTICE: could not remove the group $group"
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package: FAIL: $*" >&2; exit 1; }

# 1. What it holds. The helper is an ordinary executable: its capability comes from the install
# script, never a setuid bit.
dpkg-deb -c "$deb" > "$work/contents"
helper=/usr/libexec/bexo-z0/bexo-z0-bind
app_id=example.bexo_z0.bexo_z0
desktop=/usr/share/applications/$app_id.desktop
metainfo=/usr/share/metainfo/$app_id.metainfo.xml
for f in /usr/bin/bexo-z0 /usr/bin/bexo-z0-cli /usr/bin/bexo-z0-sim $helper $desktop $metainfo \
         /usr/share/icons/hicolor/scalable/apps/bexo-z0.svg \
         /usr/share/icons/hicolor/{16x16,32x32,48x48,256x256}/apps/bexo-z0.png \
         /usr/share/man/man1/{bexo-z0,bexo-z0-cli,bexo-z0-sim}.1.gz \
         /usr/share/doc/bexo-z0/copyright /usr/share/doc/bexo-z0/changelog.gz; do
  grep -q " \.$f\$" "$work/contents" || fail "$f is not in the package"
done
# Owner and mode for the group come from the install script's dpkg-statoverride entry.
grep -E "^-rwxr-xr-x root/root .* \.$helper\$" "$work/contents" > /dev/null || fail "$helper is not plain 0755 root/root"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libqt6core6* ]] || fail "no computed shared-library dependencies: $depends"
[[ ", $depends," == *", adduser,"* || ", $depends," == *", adduser "* ]] || fail "no dependency on adduser, which the install script runs: $depends"

# 2. lintian: errors and warnings fail, notes are listed.
lintian --display-info "$deb" > "$work/lintian" 2>&1 || true
grep -v 'running with root privileges' "$work/lintian" | sed 's/^/lintian: /' || true
errors=$(grep -c '^E:' "$work/lintian" || true)
echo "package: lintian: $errors errors, $(grep -c '^W:' "$work/lintian" || true) warnings, $(grep -c '^I:' "$work/lintian" || true) notes"
[ "$errors" -eq 0 ] || fail "lintian reports errors"
! grep -q '^W:' "$work/lintian" || fail "lintian warns"

# 3. The desktop entry, and the icon it names.
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root$desktop" || fail "desktop-file-validate"
icon=$(sed -n 's/^Icon=//p' "$work/root$desktop")
[ -f "$work/root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon $icon is missing"

# The AppStream metadata: valid (no warning either; nothing fetched), its component the desktop
# entry, and its screenshots those of docs/screenshots at their true sizes.
appstreamcli validate-tree --no-net "$work/root/usr" > "$work/appstream" 2>&1 || { cat "$work/appstream"; fail "appstreamcli validate-tree"; }
sed 's/^/appstream: /' "$work/appstream"
python3 - "$work/root$metainfo" "$app_id" docs/screenshots <<'PY' || fail "the AppStream metadata"
import os, struct, sys, xml.etree.ElementTree as ET
path, app_id, shots = sys.argv[1:]
root = ET.parse(path).getroot()
problems = []
if root.findtext("id") != app_id:
    problems.append(f"component ID {root.findtext('id')!r}, not {app_id!r}")
launch = [l.text for l in root.iter("launchable") if l.get("type") == "desktop-id"]
if launch != [app_id + ".desktop"]:
    problems.append(f"launchable {launch}, not {app_id}.desktop")
images = list(root.iter("image"))
if not images:
    problems.append("no screenshot")
for image in images:
    name = os.path.join(shots, image.text.strip().rsplit("/", 1)[-1])
    if not os.path.isfile(name):
        problems.append(f"screenshot {image.text.strip()} is not in {shots}")
        continue
    with open(name, "rb") as f:
        head = f.read(24)
    size = struct.unpack(">II", head[16:24]) if head[:8] == b"\x89PNG\r\n\x1a\n" else None
    if size != (int(image.get("width", 0)), int(image.get("height", 0))):
        problems.append(f"{name} is {size}, the metadata says {image.get('width')}x{image.get('height')}")
for p in problems:
    print("package: metainfo:", p)
sys.exit(1 if problems else 0)
PY

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
getent group $group > /dev/null || made_group=1
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" > "$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install"; }
gid=$(getent group $group | cut -d: -f3) || fail "the install made no group $group"
[ "$gid" -lt 1000 ] || fail "the group $group is not a system group (gid $gid)"
[ "$(stat -c '%U:%G %a' $helper)" = "root:$group 750" ] || fail "$helper is $(stat -c '%U:%G %a' $helper), not root:$group 750"
[ "$(dpkg-statoverride --list $helper)" = "root $group 750 $helper" ] ||
  fail "no dpkg-statoverride entry for $helper: $(dpkg-statoverride --list $helper || true)"
getcap $helper | grep -q 'cap_net_bind_service=ep' || fail "the install script did not give $helper its capability"

# Without setcap (or on a file system without file capabilities) the install script still
# succeeds, and says how to give the helper its capability.
mkdir "$work/nosetcap"
ln -s "$(command -v addgroup)" "$work/nosetcap/addgroup"
dpkg-deb -e "$deb" "$work/control"
env PATH="$work/nosetcap:/usr/bin:/bin" sh "$work/control/postinst" configure > "$work/postinst.out" 2>&1 ||
  { cat "$work/postinst.out"; fail "the install script fails without setcap"; }
grep -q "setcap cap_net_bind_service=ep $helper" "$work/postinst.out" || fail "no note without setcap"
[ "$(stat -c '%U:%G %a' $helper)" = "root:$group 750" ] || fail "the install script without setcap changed $helper"

home=$work/home
mkdir "$home"
chown 65534:65534 "$home"
# A user outside the group, and the same user as a member.
user() { setpriv --reuid=65534 --regid=65534 --clear-groups env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
member() { setpriv --reuid=65534 --regid=65534 --groups="$gid" env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

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

# A firmware upgrade of the simulated boot loader on the standard ports, through the installed
# helper, by a member of the group.
bin=$work/fw.bin
{ printf '\x51\x32\x00\x01'; head -c 5000 /dev/urandom; } > "$bin"
chmod 644 "$bin"
start_loader() {
  bexo-z0-sim bootloader --ip 127.0.0.1 --mac 020000000001 --expect "$bin" --once --linger 200 > "$work/loader.log" 2>&1 &
  loader=$!
  pids+=($loader)
  for _ in $(seq 50); do grep -q 'waiting for the trigger' "$work/loader.log" && break; sleep 0.1; done
}
upgrade() { "$@" bexo-z0-cli --lang en upgrade --ip 127.0.0.1 --mac 020000000001 --local-ip 127.0.0.1 --search-timeout 2000 "$bin"; }
start_loader
upgrade member > "$work/upgrade.out" 2>&1 ||
  { cat "$work/upgrade.out"; fail "upgrade by a member of $group through the installed helper"; }
wait $loader || { cat "$work/loader.log"; fail "the boot loader's verdict"; }
echo "package: as a member of $group: firmware upgrade on ports 9, 67, 69 through $helper"

# A user outside the group may not run the helper (through env: setpriv itself would exec with
# root's capabilities), and the failed upgrade names the group and the command that lets them in.
rc=0
user "$helper" 3 127.0.0.1 67 > "$work/denied" 2>&1 || rc=$?
[ $rc -eq 126 ] && grep -q 'Permission denied' "$work/denied" || fail "a user outside $group ran $helper: status $rc, $(cat "$work/denied")"
start_loader
rc=0
upgrade user > "$work/upgrade-outsider.out" 2>&1 || rc=$?
kill $loader 2>/dev/null || true
wait $loader 2>/dev/null || true
[ $rc -ne 0 ] || fail "a user outside $group upgraded"
sed 's/^/package: outside the group: /' "$work/upgrade-outsider.out"
grep -q "group $group" "$work/upgrade-outsider.out" || fail "the failure does not name the group $group"
grep -q "adduser .*$group" "$work/upgrade-outsider.out" || fail "the failure does not say how to join $group (adduser)"
! grep -q 'trigger heard' "$work/loader.log" || fail "a trigger went out although the helper may not be run"

# An upgrade keeps an administrator's own owner and mode (here: the helper for root alone), and
# gives the helper its capability again.
dpkg-statoverride --remove $helper
dpkg-statoverride --update --add root root 0700 $helper
dpkg -i "$deb" > "$work/upgrade-pkg.log" 2>&1 || { cat "$work/upgrade-pkg.log"; fail "dpkg -i over the installed package"; }
[ "$(stat -c '%U:%G %a' $helper)" = "root:root 700" ] || fail "the upgrade replaced the administrator's 0700 root:root by $(stat -c '%U:%G %a' $helper)"
[ "$(dpkg-statoverride --list $helper)" = "root root 700 $helper" ] || fail "the administrator's entry is gone: $(dpkg-statoverride --list $helper || true)"
getcap $helper | grep -q 'cap_net_bind_service=ep' || fail "the upgrade left $helper without its capability"
echo "package: upgraded over the administrator's root:root 0700 for the helper; kept"

# Removal takes the entry with it, whoever made it; so does a purge.
installed=0
apt-get remove -y bexo-z0 > "$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "apt-get remove"; }
[ ! -e /usr/bin/bexo-z0-cli ] && [ ! -e /usr/libexec/bexo-z0 ] || fail "files left after the removal"
! dpkg-statoverride --list $helper > /dev/null || fail "the removal left an entry: $(dpkg-statoverride --list $helper)"
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" > "$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install again"; }
[ "$(dpkg-statoverride --list $helper)" = "root $group 750 $helper" ] || fail "no entry after installing again"
installed=0
apt-get purge -y bexo-z0 > "$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "apt-get purge"; }
! dpkg-statoverride --list $helper > /dev/null || fail "the purge left an entry: $(dpkg-statoverride --list $helper)"
state=$(dpkg-query -W -f='${db:Status-Status}' bexo-z0 2>/dev/null || true)
[ -z "$state" ] || [ "$state" = not-installed ] || fail "the purge left the package as '$state'"
[ ! -e /usr/bin/bexo-z0-cli ] && [ ! -e /usr/libexec/bexo-z0 ] || fail "files left after the purge"
echo "package: installed, used as users, upgraded, removed and purged; no dpkg-statoverride entry left"
