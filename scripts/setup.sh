#!/usr/bin/env bash
# Installs what the builds and tests need on a fresh Debian machine (run as root).
# With "native" only the packages for the simulated PC are installed.
set -euo pipefail

native_packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libtomlplusplus-dev
                 libbenchmark-dev clang-format clang libclang-rt-14-dev)
windows_packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 zip python3)

missing=()
need() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed" || missing+=("$1"); }

for p in "${native_packages[@]}"; do need "$p"; done
if [ "${1:-all}" != native ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || { dpkg --add-architecture i386; missing+=(wine32:i386); }
    for p in "${windows_packages[@]}"; do need "$p"; done
fi
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
