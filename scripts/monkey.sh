#!/usr/bin/env bash
# Walks the monkey (tests/monkey_test.cpp) with new seeds for as long as asked, in a test
# build (by default build/, or build-address/ for PAVO_SANITIZE=address, ...). Prints each
# seed, the actions walked, and the shortest failing list of a seed that breaks a rule.
#   scripts/monkey.sh [SECONDS] [ACTIONS_PER_SEED]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
actions=${2:-5000}
sanitize=${PAVO_SANITIZE:-}
tests=build${sanitize:+-$sanitize}/tests/pavo_tests
[ -x "$tests" ] || { echo "no $tests: run scripts/test.sh first" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen PAVO_MONKEY_ACTIONS=$actions
[ "$sanitize" = thread ] && export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1"
end=$((SECONDS + seconds))
walked=0
while [ "$SECONDS" -lt "$end" ]; do
  seeds=$(for _ in 1 2 3 4; do od -An -N4 -tu4 /dev/urandom; done | tr -s ' \n' ' ')
  echo "seeds:$seeds"
  PAVO_MONKEY_SEEDS="$seeds" "$tests" --gtest_filter='Monkey.Walks*' 2>&1 |
    grep -E '^monkey:|Failure|seed [0-9]+:|shortest|breaks|Sanitizer|runtime error|SUMMARY' || { echo "monkey: failed" >&2; exit 1; }
  walked=$((walked + 4 * actions))
done
echo "monkey: $walked actions walked in $SECONDS s, no rule broken"
