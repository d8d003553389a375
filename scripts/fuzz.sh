#!/usr/bin/env bash
# Builds a libFuzzer target with clang (ASan and UBSan on) and fuzzes it; any crash, hang or
# unclear error stops it with the input saved under artifacts/. The target is the scenario
# parser, or with QEL_FUZZ_TARGET=log the log reader (--from-log, --explain).
# Usage: [QEL_FUZZ_TARGET=scenario|log] scripts/fuzz.sh [SECONDS] [LIBFUZZER OPTIONS...]
# (default: the scenario parser, 60 seconds)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh native
build=${QEL_FUZZ_BUILD:-build/fuzz}
target=${QEL_FUZZ_TARGET:-scenario}
seconds=${1:-60}
[ $# -gt 0 ] && shift
case "$target" in
    scenario) seeds=(scenarios tests/fuzz/malformed) dict=tests/fuzz/scenario.dict ;;
    log) seeds=(tests/logs tests/fuzz/logs) dict=tests/fuzz/log.dict ;;
    *) echo "fuzz: unknown target $target (scenario or log)"; exit 2 ;;
esac
# The build's output is shown only when it fails.
mkdir -p "$build"
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQEL_SANITIZE=ON -DQEL_FUZZ=ON \
             -DCMAKE_CXX_COMPILER=clang++ &&
       cmake --build "$build" --target "${target}_fuzz"; } >"$build/build-$target.log" 2>&1; then
    grep -E 'error|FAILED' "$build/build-$target.log" | head -n 40
    echo "fuzz: the $target target does not build; the whole output is in $build/build-$target.log"
    exit 1
fi
mkdir -p "$build/corpus-$target" "$build/artifacts"
# New inputs go to the build's own corpus; the seeds only start it.
if ! "$build/tests/${target}_fuzz" "$build/corpus-$target" "${seeds[@]}" \
     -dict="$dict" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
     -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$@" >"$build/fuzz-$target.log" 2>&1; then
    tail -n 60 "$build/fuzz-$target.log"
    echo "fuzz: failed; the input is in $build/artifacts/, the whole output in $build/fuzz-$target.log"
    exit 1
fi
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$build/fuzz-$target.log" | sed "s/^/fuzz $target: /"
