#!/usr/bin/env bash
# An installed program run by a user who cannot write its folder: Cfg.ini and Lang.txt shipped
# beside the program are read, the user's own Lang.txt wins once it exists, and the export goes
# into the user's documents folder. Run as the user nobody: root would write anywhere.
source "$(dirname "$0")/lib.sh"
e2e_require_private_netns
make_peer 7

prog=$E2E_TMP/opt/bexo-z0
home=$E2E_TMP/home
mkdir -p "$prog" "$home"
cp "$CLI" "$prog/"
printf '[System]\r\nLanguage=1\r\n' > "$prog/Cfg.ini"
printf 'lang_Menu_ExpDev|装置清单|Shipped list\r\n' > "$prog/Lang.txt"
chmod 755 "$E2E_TMP" "$E2E_TMP/opt"
chmod 555 "$prog"
chmod 444 "$prog/Cfg.ini" "$prog/Lang.txt"
chown 65534:65534 "$home"
as_user() {
  setpriv --reuid=65534 --regid=65534 --clear-groups -- \
    env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"
}
as_user touch "$prog/probe" 2>/dev/null && fail "the program folder can be written by the user"

# Language=1 from the shipped Cfg.ini, the text from the shipped Lang.txt.
[ "$(as_user "$prog/bexo-z0-cli" text lang_Menu_ExpDev)" = "装置清单" ] || fail "shipped files not read"
[ "$(as_user "$prog/bexo-z0-cli" --lang en text lang_Menu_ExpDev)" = "Shipped list" ] || fail "shipped Lang.txt not read"
[ ! -e "$home/.config/bexo-z0/Lang.txt" ] || fail "a Lang.txt was written although one ships"

# The export goes into ~/Documents, created for it, named with the shipped menu text.
start_peer_bg "$E2E_TMP/sim.log" "$SIM" lan --module mac=001A2B3C4D5E,ip=10.77.7.7,name=Lab-Q2,version=4017
wait_for_line "$E2E_TMP/sim.log" 'listening'
path=$(as_user "$prog/bexo-z0-cli" --interface 10.77.7.1 --wait 700 export 2> "$E2E_TMP/export.err") ||
  { cat "$E2E_TMP/export.err"; fail "export as a user failed"; }
case "$path" in
  "$home/Documents/装置清单 "*" - (1).csv") ;;
  *) fail "export went to '$path'" ;;
esac
[ -f "$path" ] && [ "$(stat -c %u "$path")" = 65534 ] || fail "export file missing or not the user's"

# The user's own Lang.txt wins over the shipped one.
as_user mkdir -p "$home/.config/bexo-z0"
printf 'lang_Menu_ExpDev|我的清单|My list\r\n' | as_user tee "$home/.config/bexo-z0/Lang.txt" > /dev/null
[ "$(as_user "$prog/bexo-z0-cli" text lang_Menu_ExpDev)" = "我的清单" ] || fail "the user's Lang.txt does not win"
echo "installed files e2e: ok"
