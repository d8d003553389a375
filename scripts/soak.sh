#!/usr/bin/env bash
# A long reliability soak: the whole tool on SEEDS random simulated PCs (default 1,000,000)
# from seed FIRST (default 1), one process per core, under ASan and UBSan. Prints the seed of
# every failure; replay one with build/native/tests/qel-reliability --seed N --trace.
# Usage: scripts/soak.sh [SEEDS] [FIRST] [RUNNER OPTIONS...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh native
{ cmake --preset native && cmake --build --preset native --target qel-reliability; } >/dev/null
seeds=${1:-1000000}
first=${2:-1}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift
jobs=$(nproc)
share=$(( (seeds + jobs - 1) / jobs ))
pids=()
for ((j = 0; j < jobs; ++j)); do
    start=$(( first + j * share ))
    count=$(( seeds - j * share < share ? seeds - j * share : share ))
    [ "$count" -gt 0 ] || break
    build/native/tests/qel-reliability --first "$start" --seeds "$count" "$@" \
        >"build/native/soak-$j.txt" 2>&1 &
    pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
cat build/native/soak-*.txt
exit $status
