#!/usr/bin/env bash
# Installs what it needs, builds all three presets and runs every test: the unit and scenario
# tests on the simulated PC (under ASan and UBSan), then the real exes under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/check-includes.sh # includes point down only
if command -v clang-format >/dev/null; then
    git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
fi
for preset in native win32 win64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
scripts/sizes.sh # the exes' sizes and imported DLLs against their budgets
ctest --preset native -j2
scripts/fuzz.sh 60 # the scenario parser under libFuzzer for a minute
QEL_FUZZ_TARGET=log scripts/fuzz.sh 30 # the log reader (--from-log, --explain), half a minute
tests/wine/run.sh
