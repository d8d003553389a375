#!/usr/bin/env bash
# Fails when a quoted #include points up or sideways between the source folders. From the top:
#   entry/ (the Windows exe's main), runner/ (the scenario runner), tests/, bench/
#   logreplay/ a user's log read back (--from-log, --explain): the log and scenarios only
#   harness/   the tool run as a process on the simulated PC
#   app/ -> device/ -> adb/ -> text/ -> log/ -> state/ -> platform/
#   sim/       the simulated PC, below the seam: it includes only sim/ and platform/
# platform/ brings the simulated PC's Windows surface (sim/winapi.h) and nothing else above it.
# Usage: scripts/check-includes.sh [FILE...] (default: every C and C++ file git knows).
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
    [entry]="app device adb text log state platform"
    [runner]="logreplay harness app device adb text log state platform sim"
    [tests]="tests entry logreplay harness app device adb text log state platform sim"
    [bench]="logreplay harness app device adb text log state platform sim"
    [logreplay]="logreplay sim"
    [harness]="app device adb text log state platform sim"
    [app]="device adb text log state platform"
    [device]="adb text log state platform"
    [adb]="text log state platform"
    [text]="log state platform"
    [log]="state platform"
    [state]="platform"
    [platform]="sim/winapi.h"
    [sim]="platform"
)

# The folder an include or a source file belongs to, as a key of the table above.
layer_of() {
    local top=${1%%/*}
    [[ $1 == */* ]] || top=""
    echo "$top"
}

# TRUE when a file of layer $1 may include the project file $2.
may_include() {
    local from=$1 target=$2 to entry
    to=$(layer_of "$target")
    [[ $to == "$from" ]] && return 0
    for entry in ${allowed[$from]}; do
        [[ $entry == "$to" || $entry == "$target" ]] && return 0
    done
    return 1
}

if (($#)); then files=("$@"); else mapfile -t files < <(git ls-files -- '*.cpp' '*.h' '*.c'); fi
status=0
for file in "${files[@]}"; do
    from=$(layer_of "$file")
    if [[ -z ${allowed[$from]+set} ]]; then
        echo "$file: folder '$from' has no place in scripts/check-includes.sh" >&2
        status=1
        continue
    fi
    while IFS=: read -r line target; do
        # A name without a folder is a neighbour in the same folder (e.g. "test_support.h").
        [[ $target == */* ]] || target="$(dirname "$file")/$target"
        [[ -e $target ]] || continue # a system or generated header spelled with quotes
        if ! may_include "$from" "$target"; then
            echo "$file:$line: $from/ may not include $target (allowed: ${allowed[$from]})" >&2
            status=1
        fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
        sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/')
done
exit $status
