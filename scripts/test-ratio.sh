#!/usr/bin/env bash
# Counts the lines of .cpp/.h that are neither blank nor comment lines (first non-blank
# characters "//") in tests/ and in the product folders (everything but tests/, bench/ and
# build folders), and prints both counts and their ratio, which is to stay at most 0.33:
# above that it says so and exits 1 (CI runs it).
# Usage: scripts/test-ratio.sh
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  # Reads NUL-separated file names; counts the lines that carry code.
  xargs -0 -r cat -- | grep -cvE '^[[:space:]]*(//|$)' || true
}

tests=$(git ls-files -z --cached --others --exclude-standard -- 'tests/*.cpp' 'tests/*.h' | count)
product=$(git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h' ':!:tests/' ':!:bench/' | count)
ratio=$(awk -v t="$tests" -v p="$product" 'BEGIN { printf "%.3f", t / p }')
echo "tests:   $tests"
echo "product: $product"
echo "ratio:   $ratio"
if awk -v r="$ratio" 'BEGIN { exit !(r > 0.33) }'; then
  echo "the tests are more than a third of the product code: make them leaner" >&2
  exit 1
fi
