#!/usr/bin/env bash
# bexo_core must not depend on Qt Widgets (or Qt Gui): not in its sources, not in its compile
# flags, not in what the programs built on it link.
source "$(dirname "$0")/lib.sh"
build=$(cd "$BIN/.." && pwd)
src=$(cd "$(dirname "$0")/../../src" && pwd)

# Sources of the library.
if grep -R -n -E '#\s*include\s*[<"](QtWidgets|QtGui|QWidget|QApplication|QMainWindow|QDialog|QMessageBox|QGuiApplication|QClipboard)' \
     "$src/core" "$src/lang" "$src/netconfig" "$src/serial" "$src/upgrade" 2>/dev/null; then
  fail "a widget or GUI header is included in bexo_core"
fi

# Compile flags of the library's objects.
cc=$build/compile_commands.json
[ -f "$cc" ] || fail "no $cc"
python3 - "$cc" <<'PY'
import json, sys
bad = [e["file"] for e in json.load(open(sys.argv[1]))
       if "/bexo_core.dir/" in (e.get("output") or e["command"]) and ("QtWidgets" in e["command"] or "QtGui" in e["command"])]
assert not bad, "bexo_core compiled against QtWidgets/QtGui: %s" % bad
PY

# What the programs on the library link.
for exe in "$build/tests/bexo_consumer" "$BIN/bexo-z0-cli" "$BIN/bexo-z0-sim"; do
  [ -x "$exe" ] || fail "missing $exe"
  if readelf -d "$exe" | grep -E 'NEEDED.*libQt6(Widgets|Gui)'; then fail "$exe links Qt Widgets or Gui"; fi
done
"$build/tests/bexo_consumer" > "$E2E_TMP/consumer.out" || fail "consumer failed"
grep -q '^192.168.0.7 FF 13 03 ' "$E2E_TMP/consumer.out" || fail "consumer output: $(cat "$E2E_TMP/consumer.out")"
echo "library boundary: ok"
