#!/usr/bin/env bash
# A long reliability soak: the whole tool on SEEDS random simulated PCs (default 1,000,000)
# from seed FIRST (default 1), one process per core, under ASan and UBSan. Prints the seed of
# every failure; replay one with build/native/tests/qel-reliability --seed N --trace.
# Any runner option may follow, e.g. --rate-alloc-fault=0.5 or --roundtrip.
# Usage: scripts/soak.sh [SEEDS] [FIRST] [RUNNER OPTIONS...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh native
# The native preset's build (ASan, UBSan) by default; QEL_SOAK_BUILD names another directory.
build=${QEL_SOAK_BUILD:-build/native}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQEL_SANITIZE=ON >/dev/null
cmake --build "$build" --target qel-reliability >/dev/null
seeds=${1:-1000000}
first=${2:-1}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift
jobs=$(nproc)
share=$(( (seeds + jobs - 1) / jobs ))
rm -f "$build"/soak-*.txt
pids=()
for ((j = 0; j < jobs; ++j)); do
    start=$(( first + j * share ))
    count=$(( seeds - j * share < share ? seeds - j * share : share ))
    [ "$count" -gt 0 ] || break
    "$build/tests/qel-reliability" --first "$start" --seeds "$count" "$@" >"$build/soak-$j.txt" 2>&1 &
    pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
cat "$build"/soak-*.txt
exit $status
