#!/usr/bin/env bash
# Builds the benchmark in Release (build-bench/) and runs it. The contact books
# are made once and kept in /tmp/ardentia-bench (or $ARDENTIA_BENCH_DATA).
# Every build and run holds /tmp/ardentia-build.lock, so that nothing else
# builds beside the measurements; what the benchmark starts (Radicale) does not
# hold it. Arguments go to the benchmark program
# (e.g. --sizes 100000 --runs 7); its last line is "targets met: K of N".
# "bench/run.sh sync [--runs N]" runs the sync benchmark instead: a first sync
# of 10 000 contacts from a loopback Radicale against vdirsyncer, and
# incremental syncs.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
# The vCard import is measured beside another address book's converter.
if ! command -v abook >/dev/null; then
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends abook >/dev/null || true
fi
data="${ARDENTIA_BENCH_DATA:-/tmp/ardentia-bench}"
lock=/tmp/ardentia-build.lock
if [ "${1:-}" = sync ]; then
  shift
  # The first sync is measured beside another CardDAV client.
  if ! command -v vdirsyncer >/dev/null; then
    sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends vdirsyncer >/dev/null
  fi
  flock "$lock" cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DARDENTIA_TESTS=OFF -DARDENTIA_BENCH=ON >/dev/null
  flock "$lock" cmake --build build-bench --target ardentia_bench_sync -j "$(nproc)"
  flock -o "$lock" ./build-bench/bench/ardentia_bench_sync --data "$data" "$@"
  exit
fi
flock "$lock" cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DARDENTIA_TESTS=OFF -DARDENTIA_BENCH=ON >/dev/null
flock "$lock" cmake --build build-bench --target ardentia_bench ardentia_bench_trivial -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
flock -o "$lock" ./build-bench/bench/ardentia_bench --data "$data" "$@"
