#!/usr/bin/env bash
# Plants each fault of tests/planted/ (one git diff of one product file each) in turn,
# builds the test programs that link the changed folder's library, runs their tests with
# ctest, records whether a test failed (the fault was caught) and which, and takes the
# fault out again. The table goes to stdout and to BUILD/planted-faults.txt, each run's
# build and ctest output to BUILD/planted/.
#
# Usage: scripts/planted-faults.sh [build-dir] [fault-name...]
#   build-dir   a configured build folder, built once before (default: build)
#   fault-name  only these faults (patch names without .patch); default: all
# FOCUS=TABLE (a planted-faults.txt of an earlier run, e.g. before tests were cut): a fault
# that run caught is tried only with the programs that hold the tests which caught it
# (all affected programs again when none of them is left): enough to show it is still
# caught, and much quicker. Faults the earlier run did not catch are tried in full.
# RUNNER=direct runs each test program whole (two at a time, the fault's own folder's
# first) instead of one process per test through ctest, each stopping at its first failed
# test: much quicker; it names the first test of each program that caught the fault.
# The product files a fault changes must have no changes of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
export QT_QPA_PLATFORM=offscreen

faults=()
if [ $# -gt 0 ]; then
  for name in "$@"; do faults+=("tests/planted/$name.patch"); done
else
  faults=(tests/planted/*.patch)
fi

applied=""
revert() {
  if [ -n "$applied" ]; then
    git apply -R "$applied"
    applied=""
  fi
}
trap revert EXIT INT TERM

# Each test program with the folder libraries it links (all of them, as static libraries
# are listed whole on the link line). The programs that run the program or the simulator
# link everything those do.
# Listed from the lowest layer up, as a fault shows first in the tests nearest to it.
layers="platform sim serial lm wideband logging reports logfiles analysis session dialogs views app translation"
mapfile -t programs < <(ninja -C "$build" -t targets all | sed -n 's/^\(tests_[a-z]*\):.*/\1/p' | sort -u |
  awk -v layers="$layers" 'BEGIN { n = split(layers, o, " "); for (i = 1; i <= n; ++i) rank["tests_" o[i]] = i }
    { print rank[$0] + 0, $0 }' | sort -n | cut -d" " -f2)
declare -A links
for program in "${programs[@]}"; do
  links[$program]=" $(ninja -C "$build" -t query "bin/$program" | grep -o 'libtessek_[a-z]*\.a' | sort -u | tr '\n' ' ')"
done

# Runs the given programs whole, two at a time, each stopping at its first failed test
# (--gtest_fail_fast). Prints the failed tests (a program that ends abnormally without
# naming one: PROGRAM_ended_with_STATUS); the programs' output goes to stderr.
direct_filter="*"
run_direct() {
  printf '%s\n' "$@" | xargs -P2 -I{} sh -c '
    out=$(cd "$0/bin" && nice timeout 900 ./{} --gtest_brief=1 --gtest_fail_fast --gtest_filter="$1" 2>&1)
    status=$?
    printf "%s\n" "$out" >&2
    names=$(printf "%s\n" "$out" | sed -n "s/^\[  FAILED  \] \([A-Za-z0-9_/]*\.[A-Za-z0-9_/.]*\).*/\1/p" | sort -u)
    if [ -n "$names" ]; then printf "%s\n" "$names"; elif [ $status -ne 0 ]; then echo "{}_ended_with_$status"; fi
  ' "$build" "$direct_filter" | sort -u | tr '\n' ' '
}

# The program of each test suite, for FOCUS.
declare -A suite_program
if [ -n "${FOCUS:-}" ]; then
  for program in "${programs[@]}"; do
    while read -r suite; do
      suite_program[$suite]=$program
    done < <(cd "$build/bin" && ./"$program" --gtest_list_tests 2>/dev/null | sed -n 's/^\([A-Za-z0-9_/]*\)\.$/\1/p')
  done
fi

mkdir -p "$build/planted"
table="$build/planted-faults.txt"
: >"$table"
caught=0
total=0
for patch in "${faults[@]}"; do
  name=$(basename "$patch" .patch)
  file=$(sed -n 's|^+++ b/||p' "$patch" | head -n 1)
  folder=${file%%/*}
  affected=()
  for program in "tests_$folder" "${programs[@]}"; do
    [[ " ${affected[*]} " == *" $program "* ]] && continue
    [[ ${links[$program]:-} == *" libtessek_$folder.a "* ]] && affected+=("$program")
  done
  if [ -n "${FOCUS:-}" ]; then
    earlier=$(awk -v n="$name" '$1 == n && $3 == "caught" { for (i = 4; i <= NF; ++i) print $i }' "$FOCUS")
    focused=()
    for test in $earlier; do
      program=${suite_program[${test%.*}]:-}
      [ -n "$program" ] && [[ " ${focused[*]} " != *" $program "* ]] && focused+=("$program")
    done
    [ ${#focused[@]} -gt 0 ] && affected=("${focused[@]}")
  fi
  total=$((total + 1))
  git apply "$patch"
  applied=$patch
  failed=""
  if [ ${#affected[@]} -eq 0 ]; then
    result="no test program links $folder"
  elif ! nice cmake --build "$build" --target "${affected[@]}" >"$build/planted/$name.build" 2>&1; then
    result="BUILD FAILED"
  else
    if [ "${RUNNER:-ctest}" = direct ]; then
      failed=$(run_direct "${affected[@]}" 2>"$build/planted/$name.tests")
    else
      rm -f "$build/Testing/Temporary/LastTestsFailed.log"
      labels=$(IFS='|'; echo "${affected[*]}")
      nice ctest --test-dir "$build" -j2 --timeout 120 -L "^($labels)\$" >"$build/planted/$name.tests" 2>&1 || true
      failed=$(sed 's/^[0-9]*://' "$build/Testing/Temporary/LastTestsFailed.log" 2>/dev/null | tr '\n' ' ' || true)
    fi
    if [ -n "$failed" ]; then
      result="caught"
      caught=$((caught + 1))
    else
      result="NOT caught"
    fi
  fi
  revert
  printf '%-36s %-28s %-10s %s\n' "$name" "$file" "$result" "$failed" | tee -a "$table"
done
echo "caught $caught of $total" | tee -a "$table"
# The test programs without any fault again.
nice cmake --build "$build" --target "${programs[@]}" >"$build/planted/final.build" 2>&1
