#!/usr/bin/env bash
# Writes the fixture logs of this folder from their scenarios with the scenario runner:
# NAME.log for each NAME.toml here and for scenarios/default.toml and ten-failed-attempts.toml,
# cut-off.log (the no-phone run cut at the prompt: the window was closed) and runs.log (three
# runs appended, the first of them older-build.log: a run of a build before 1.1, without the
# header and exit-code entries, kept as it was). Usage: tests/logs/make.sh [SIM_RUNNER]; read the diffs before committing.
set -euo pipefail
cd "$(dirname "$0")"
sim=${1:-../../build/native/qel-driver-fix-sim}
log_of() { # SCENARIO: the log bytes of a run with -l
    "$sim" --log "$1" -l 2>&1 >/dev/null | sed -n '/^--- log /,/^--- end of log$/p' | sed '1d;$d'
}
log_of ../../scenarios/default.toml >typical-repair.log
log_of ../../scenarios/ten-failed-attempts.toml >ten-failures.log
for scenario in *.toml; do
    log_of "$scenario" >"${scenario%.toml}.log"
done
head -n 4 no-phone.log >cut-off.log
cat older-build.log no-phone.log newdev-missing.log >runs.log
