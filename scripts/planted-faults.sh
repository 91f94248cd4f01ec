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
mapfile -t programs < <(ninja -C "$build" -t targets all | sed -n 's/^\(tests_[a-z]*\):.*/\1/p' | sort -u)
declare -A links
for program in "${programs[@]}"; do
  links[$program]=" $(ninja -C "$build" -t query "bin/$program" | grep -o 'libtessek_[a-z]*\.a' | sort -u | tr '\n' ' ')"
done

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
  for program in "${programs[@]}"; do
    [[ ${links[$program]} == *" libtessek_$folder.a "* ]] && affected+=("$program")
  done
  total=$((total + 1))
  git apply "$patch"
  applied=$patch
  failed=""
  if [ ${#affected[@]} -eq 0 ]; then
    result="no test program links $folder"
  elif ! nice cmake --build "$build" --target "${affected[@]}" >"$build/planted/$name.build" 2>&1; then
    result="BUILD FAILED"
  else
    rm -f "$build/Testing/Temporary/LastTestsFailed.log"
    labels=$(IFS='|'; echo "${affected[*]}")
    nice ctest --test-dir "$build" -j2 --timeout 120 -L "^($labels)\$" >"$build/planted/$name.ctest" 2>&1 || true
    failed=$(sed 's/^[0-9]*://' "$build/Testing/Temporary/LastTestsFailed.log" 2>/dev/null | tr '\n' ' ' || true)
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
