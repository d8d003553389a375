#!/bin/sh
# Every scenario in DIR is malformed: the scenario runner must reject each with exit status 2
# and a message naming the file and line, never crash.
# Usage: check_malformed.sh SIM_RUNNER DIR
status=0
for f in "$2"/*.toml; do
    message=$("$1" "$f" 2>&1 >/dev/null)
    code=$?
    case "$message" in
        "qel-driver-fix-sim: $f:"[0-9]*": "*) ;;
        *) code="$code, unclear message '$message'" ;;
    esac
    [ "$code" = 2 ] || { echo "$f: exit $code"; status=1; }
done
exit $status
