#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, then runs each for the given number of
# seconds (default 60) on its committed seed corpus (fuzz/corpus/<target>). New inputs go
# to build-fuzz/corpus/<target>; a crash leaves its input in build-fuzz/artifacts/ and
# makes the script fail. The data log reader gets inputs up to 1 MiB, and any single
# allocation over 4 MiB counts as a crash: a reader whose memory grows with one line's
# length is found that way. Usage: scripts/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
seconds=${1:-60}

packages=(clang libclang-rt-14-dev qt6-base-dev libmuparser-dev pkg-config cmake ninja-build)
ensure_packages "${packages[@]}"

CXX=clang++ cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j2

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p build-fuzz/artifacts
for target in IniFile TextNumbers SettingsText LogFile Formula MtsDecoder TextDecoder Alarms CellEdges WindowGeometry AdaptiveGrid; do
  work=build-fuzz/corpus/$target
  mkdir -p "$work"
  options=()
  [ "$target" = LogFile ] && options=(-max_len=1048576 -malloc_limit_mb=4)
  echo "== fuzz_$target for ${seconds} s"
  build-fuzz/fuzz_$target -max_total_time="$seconds" -timeout=10 -print_final_stats=1 "${options[@]}" \
    -artifact_prefix=build-fuzz/artifacts/$target- "$work" "fuzz/corpus/$target"
done
echo "fuzzing: no crash"
