#!/usr/bin/env bash
# Builds Ardentia for release in build-deb/ and makes build-deb/ardentia_<version>_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release -DARDENTIA_TESTS=OFF -DARDENTIA_BENCH=OFF
cmake --build build-deb --target ardentia -j "$(nproc)"
cd build-deb
cpack
ls -1 "$PWD"/ardentia_*.deb
