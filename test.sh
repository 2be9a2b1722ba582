#!/usr/bin/env bash
# Installs what is missing, builds the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-test/ and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DARDENTIA_SANITIZE=ON -DARDENTIA_BENCH=OFF
cmake --build build-test -j "$(nproc)"
cd build-test
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j "$(nproc)"
