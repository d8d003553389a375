#!/usr/bin/env bash
# Runs the real Windows exes under Wine. Smoke case: no phone, stdin at its end.
set -euo pipefail
cd "$(dirname "$0")/../.."
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
prefix=$PWD/build/wine/prefix32
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    WINEPREFIX=$prefix WINEARCH=win32 wineboot -i >/dev/null 2>&1
    WINEPREFIX=$prefix wineserver -w
fi

passed=0 failed=0
check() { # name, expected regex (python), actual, expected code, actual code
    if python3 -c 'import re,sys; sys.exit(0 if re.fullmatch(sys.argv[1], sys.argv[2], re.S) else 1)' "$2" "$3" && [ "$4" = "$5" ]; then
        passed=$((passed + 1)); echo "wine: $1 ok"
    else
        failed=$((failed + 1)); echo "wine: $1 FAILED (exit $5, wanted $4)"; printf '%s' "$3" | od -c | head -20
    fi
}

set +e
out=$(WINEPREFIX=$prefix wine build/win32/qel-driver-fix.exe </dev/null)
code=$?
set -e
WINEPREFIX=$prefix wineserver -k || true
rule='={31}\r\n'
check "win32 no phone" \
    "${rule}QEL Android driver update tool\r\n${rule}\r\nDetecting \"QEL Tarrow\" on your PC\.\.\.\.*\r\nDevice not found\.\r\nPlease be sure \"QEL Tarrow\" already connect to your PC and try again\.\r\nDevice not found\.\r\nNow exiting\.\.\." \
    "$out" 1 "$code"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
