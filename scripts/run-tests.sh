#!/bin/sh
# Runs the CTest suites of the given build trees and ends with one line
# "N passed, N failed", after one naming the Octave versions that the tests ran (each
# prints its Octave's --version line); exits non-zero when anything failed.
set -u
passed=0
failed=0
for tree in "$@"; do
    echo "== $tree"
    log=$(mktemp)
    rm -f "$tree/Testing/Temporary/LastTest.log"
    (cd "$tree" && ctest --output-on-failure -j 2) >"$log" 2>&1
    status=$?
    grep -E 'tests passed|Failed|\*\*\*|FAIL|Error|error:' "$log" | head -n 200
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log")
    rm -f "$log"
    if [ -z "$summary" ]; then
        echo "$tree: not built, or no test summary (ctest exit $status)"
        failed=$((failed + 1))
        continue
    fi
    total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
    bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
    passed=$((passed + total - bad))
    failed=$((failed + bad))
done
octaves=$(for tree in "$@"; do cat "$tree/Testing/Temporary/LastTest.log" 2>/dev/null; done |
    sed -n 's/^GNU Octave.* version \([^ ]*\)$/\1/p' | sort -uV | xargs)
echo "Octave versions run: ${octaves:-none}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
