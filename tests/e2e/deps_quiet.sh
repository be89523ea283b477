#!/usr/bin/env bash
# scripts/deps.sh with a stand-in package manager: silent when everything is installed, a few
# progress lines while installing, and on a failure the path of the log that holds the package
# manager's output.
source "$(dirname "$0")/lib.sh"
DEPS=$(cd "$(dirname "$0")/../.." && pwd)/scripts/deps.sh
stub=$E2E_TMP/bin
mkdir -p "$stub"
# dpkg-query: installed unless named in $E2E_TMP/missing.
cat > "$stub/dpkg-query" <<'SH'
#!/usr/bin/env bash
pkg=${!#}
grep -qx "$pkg" "$STUB_DIR/missing" 2>/dev/null && exit 1
printf 'install ok installed'
SH
# apt-get: pages of output, a record of each call, and a failure on request.
cat > "$stub/apt-get" <<'SH'
#!/usr/bin/env bash
echo "$*" >> "$STUB_DIR/calls"
for i in $(seq 1 300); do echo "Get:$i http://deb.example/debian bookworm/main package-$i [1234 kB]"; done
[ "$1" = install ] && [ -n "${STUB_FAIL_INSTALL:-}" ] && { echo "E: Unable to locate package $STUB_FAIL_INSTALL"; exit 100; }
exit 0
SH
printf '#!/bin/sh\necho 0\n' > "$stub/id"
chmod +x "$stub"/*
deps() { env PATH="$stub:$PATH" STUB_DIR="$E2E_TMP" TMPDIR="$E2E_TMP" bash "$DEPS" "$@"; }

# Everything installed: no output, no package manager.
: > "$E2E_TMP/missing"
out=$(deps 2>&1) || fail "deps.sh failed with everything installed: $out"
[ -z "$out" ] || fail "deps.sh printed with everything installed: $out"
[ ! -e "$E2E_TMP/calls" ] || fail "the package manager ran with everything installed"

# Two missing: a few lines naming them, none of the package manager's.
printf 'fonts-wqy-microhei\nqt6-serialport-dev\n' > "$E2E_TMP/missing"
deps > "$E2E_TMP/ok.out" 2>&1 || { cat "$E2E_TMP/ok.out"; fail "install failed"; }
[ "$(wc -l < "$E2E_TMP/ok.out")" -le 5 ] || fail "too many lines: $(cat "$E2E_TMP/ok.out")"
grep -q 'qt6-serialport-dev fonts-wqy-microhei' "$E2E_TMP/ok.out" || fail "the missing packages are not named"
grep -q 'Get:' "$E2E_TMP/ok.out" && fail "the package manager's output was shown"
grep -q '^install -y --no-install-recommends qt6-serialport-dev fonts-wqy-microhei$' "$E2E_TMP/calls" ||
  fail "install call: $(cat "$E2E_TMP/calls")"
ls "$E2E_TMP"/bexo-deps.*.log > /dev/null 2>&1 && fail "the log of a good run was left behind"

# A failure: the path of the log, which holds everything.
set +e
STUB_FAIL_INSTALL=qt6-serialport-dev deps > "$E2E_TMP/bad.out" 2> "$E2E_TMP/bad.err"; rc=$?
set -e
[ "$rc" != 0 ] || fail "a failed install exited 0"
log=$(grep -o "$E2E_TMP/bexo-deps\.[A-Za-z0-9]*\.log" "$E2E_TMP/bad.err" | head -1)
[ -n "$log" ] && [ -f "$log" ] || fail "no log path in: $(cat "$E2E_TMP/bad.err")"
grep -q 'Unable to locate package' "$log" && [ "$(grep -c '^Get:' "$log")" = 600 ] || fail "the log is incomplete"
[ "$(cat "$E2E_TMP/bad.out" "$E2E_TMP/bad.err" | wc -l)" -le 12 ] || fail "too many lines on failure"
echo "deps e2e: ok"
