#!/usr/bin/env bash
# Builds and runs the benchmarks (never part of the tests). Usage: scripts/bench.sh
# [build-dir] [arguments for bench_logging...]; bench_live, bench_tuning and bench_memo (memory
# per line of the text area, and of the window with the live window, and the peak at the
# TempLog's save) run with their defaults. The
# build directory must be configured (scripts/setup.sh); a Release-like build type gives
# representative numbers.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
shift || true

cmake --build "$build_dir" -j2 --target bench_logging bench_live bench_tuning bench_memo
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build_dir/bin/bench_logging" "$@"
echo
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build_dir/bin/bench_live"
echo
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build_dir/bin/bench_tuning"
for store in memo store flat window live cells; do
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build_dir/bin/bench_memo" 400000 "$store"
done
