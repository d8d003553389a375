#!/usr/bin/env bash
# Builds both Windows presets and packs the release:
#   build/release/qel-driver-fix-<version>.zip
#     qel-driver-fix.exe     the 32-bit exe (i686), which starts the 64-bit one on 64-bit Windows
#     qel-driver-fix64.exe   the 64-bit exe (x86_64)
#     README.txt             docs/USER-README.txt
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
version=$(sed -n 's/^project(qel_driver_fix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=build/release/qel-driver-fix-$version
rm -rf "$stage" "$stage.zip"
mkdir -p "$stage"
cp build/win32/qel-driver-fix.exe "$stage/qel-driver-fix.exe"
cp build/win64/qel-driver-fix.exe "$stage/qel-driver-fix64.exe"
# Windows users open it with Notepad: CR LF line ends.
sed 's/$/\r/' docs/USER-README.txt > "$stage/README.txt"
(cd build/release && zip -q -X -r "qel-driver-fix-$version.zip" "qel-driver-fix-$version")
echo "release: build/release/qel-driver-fix-$version.zip"
