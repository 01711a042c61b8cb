#!/usr/bin/env bash
# Prints the non-blank lines of the program (src/) and of its tests (tests/: unit, widget
# and end-to-end, with their support), and the tests' share of the two.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  find "$1" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.sh' -o -name '*.py' \) \
    -print0 | xargs -0 cat | grep -cv '^[[:space:]]*$'
}

src=$(count src)
tests=$(count tests)
share=$(awk -v t="$tests" -v s="$src" 'BEGIN { printf "%.1f", 100 * t / (s + t) }')
echo "src: $src lines; tests: $tests lines; tests are $share% of the two"
