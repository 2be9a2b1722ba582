#!/usr/bin/env bash
# Installs what is missing, builds Ardentia in build/ and starts it.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DARDENTIA_TESTS=OFF -DARDENTIA_BENCH=OFF
cmake --build build --target ardentia -j "$(nproc)"
exec ./build/ardentia
