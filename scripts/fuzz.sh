#!/usr/bin/env bash
# Builds the libFuzzer target over the scenario parser with clang (ASan and UBSan on) and
# fuzzes it; any crash, hang or unclear error stops it with the input saved under artifacts/.
# Usage: scripts/fuzz.sh [SECONDS] [LIBFUZZER OPTIONS...]   (default: 60 seconds)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh native
build=${QEL_FUZZ_BUILD:-build/fuzz}
seconds=${1:-60}
[ $# -gt 0 ] && shift
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQEL_SANITIZE=ON -DQEL_FUZZ=ON \
      -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" --target scenario_fuzz >/dev/null
mkdir -p "$build/corpus" "$build/artifacts"
# New inputs go to the build's own corpus; the scenarios and the malformed cases only seed it.
if ! "$build/tests/scenario_fuzz" "$build/corpus" scenarios tests/fuzz/malformed \
     -dict=tests/fuzz/scenario.dict -max_total_time="$seconds" -max_len=8192 -timeout=10 \
     -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$@" >"$build/fuzz.log" 2>&1; then
    tail -n 60 "$build/fuzz.log"
    echo "fuzz: failed; the input is in $build/artifacts/, the whole output in $build/fuzz.log"
    exit 1
fi
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$build/fuzz.log" | sed 's/^/fuzz: /'
