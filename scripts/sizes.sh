#!/usr/bin/env bash
# Reports the size of each stripped product exe and the DLLs it imports. Fails when an exe is
# over its budget (i686 96 KiB, x86_64 128 KiB) or imports from a DLL other than KERNEL32,
# ADVAPI32, SETUPAPI, CFGMGR32 and msvcrt: those are on every Windows the tool runs on.
# Usage: scripts/sizes.sh   (after building the win32 and win64 presets)
set -euo pipefail
cd "$(dirname "$0")/.."

allowed=" KERNEL32.DLL ADVAPI32.DLL SETUPAPI.DLL CFGMGR32.DLL MSVCRT.DLL "
objdump=x86_64-w64-mingw32-objdump
failed=0

fail() {
    echo "sizes: FAIL: $*"
    failed=1
}

# check EXE FORMAT BUDGET_KIB STRIP
check() {
    local exe=$1 format=$2 budget_kib=$3 strip=$4
    if [ ! -f "$exe" ]; then
        fail "$exe is missing"
        return
    fi
    if [[ "$($objdump -f "$exe")" != *"file format $format"* ]]; then
        fail "$exe is not $format"
        return
    fi
    # The exes are linked stripped; strip a copy anyway so the figure never counts symbols.
    local stripped size
    stripped=$(mktemp)
    $strip -o "$stripped" "$exe"
    size=$(stat -c %s "$stripped")
    rm -f "$stripped"
    printf '%s (%s): %d bytes stripped, %d.%d KiB of %d KiB\n' "$exe" "$format" "$size" \
        $((size / 1024)) $((size % 1024 * 10 / 1024)) "$budget_kib"
    if [ "$size" -gt $((budget_kib * 1024)) ]; then
        fail "$exe is $size bytes, over its budget of $budget_kib KiB"
    fi

    local dll
    local -a dlls
    local headers
    headers=$($objdump -p "$exe")
    mapfile -t dlls < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
    echo "  imports: ${dlls[*]}"
    for dll in "${dlls[@]}"; do
        if [[ "$allowed" != *" ${dll^^} "* ]]; then
            fail "$exe imports from $dll, outside KERNEL32 ADVAPI32 SETUPAPI CFGMGR32 msvcrt"
        fi
    done
}

check build/win32/qel-driver-fix.exe pei-i386 96 i686-w64-mingw32-strip
check build/win64/qel-driver-fix.exe pei-x86-64 128 x86_64-w64-mingw32-strip
exit $failed
