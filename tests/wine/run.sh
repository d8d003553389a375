#!/usr/bin/env bash
# The real Windows exes under Wine: builds the test stand-ins with mingw-w64, makes (or reuses)
# the Wine prefixes under build/wine/ and runs every case. Ends with "N passed, M failed, K skipped".
# Options go to tests/wine/harness.py (-k SUBSTRING runs only the matching cases).
set -euo pipefail
cd "$(dirname "$0")/../.."
exec python3 tests/wine/harness.py "$@"
