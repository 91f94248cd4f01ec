#!/usr/bin/env bash
# Builds and runs the benchmarks (never part of the tests). Usage: scripts/bench.sh
# [build-dir] [arguments for bench_logging...]; bench_live, bench_tuning and bench_memo (memory
# per line of the text area, and of the window with the live window, and the peak at the
# TempLog's save) run with their defaults. The
# build directory must be configured (scripts/setup.sh); a Release-like build type gives
# representative numbers.
#
# BENCH_AGAINST="<build-dir> ..." compares versions of the program under the same load: the
# bench_logging of each of those (already built) build directories runs in turn with this
# one's, round after round, each beside its own bare client; the second argument for
# bench_logging (rounds) is then the number of such turns.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
shift || true
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

cmake --build "$build_dir" -j2 --target bench_logging bench_live bench_tuning bench_memo
if [ -n "${BENCH_AGAINST:-}" ]; then
  requests=${1:-2000}
  rounds=${2:-1}
  for round in $(seq "$rounds"); do
    for dir in $BENCH_AGAINST "$build_dir"; do
      echo "== round $round: $dir"
      "$dir/bin/bench_logging" "$requests" 1
    done
  done
  exit 0
fi
"$build_dir/bin/bench_logging" "$@"
echo
"$build_dir/bin/bench_live"
echo
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build_dir/bin/bench_tuning"
for store in memo store flat window live cells; do
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build_dir/bin/bench_memo" 400000 "$store"
done
