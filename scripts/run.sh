#!/usr/bin/env bash
# Builds the simulated PC and runs the tool on a scenario (the typical run by default) with
# the log switch on; the console bytes go to stdout, the exit code, time and log to stderr.
# Usage: scripts/run.sh [SCENARIO] [TOOL ARGUMENTS...]   (default: scenarios/default.toml -l)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh native
{ cmake --preset native && cmake --build --preset native --target qel-driver-fix-sim; } >/dev/null
scenario=${1:-scenarios/default.toml}
[ $# -gt 0 ] && shift
[ $# -eq 0 ] && set -- -l
exec build/native/qel-driver-fix-sim --exit-code --time --log "$scenario" "$@"
