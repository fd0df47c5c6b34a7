#!/bin/sh
# Runs the test presets of the given build trees (CMakePresets.json; each tree in
# build/NAME) and ends with one line "N passed, N failed", after one naming the Octave
# versions that the tests ran (each prints its Octave's --version line); exits non-zero
# when anything failed. Each tree named in --unbuilt (a list: it could not be built),
# and each without a test summary, counts as one failed suite. Run from the top.
#   scripts/run-tests.sh [--unbuilt "NAME..."] NAME...
set -u
unbuilt=
if [ "${1:-}" = --unbuilt ]; then
    unbuilt=$2
    shift 2
fi
passed=0
failed=0
for tree in "$@"; do
    echo "== build/$tree"
    case " $unbuilt " in
        *" $tree "*)
            echo "build/$tree: not built"
            failed=$((failed + 1))
            continue ;;
    esac
    log=$(mktemp)
    rm -f "build/$tree/Testing/Temporary/LastTest.log"
    ctest --preset "$tree" >"$log" 2>&1
    status=$?
    grep -E 'tests passed|Failed|\*\*\*|FAIL|Error|error:' "$log" | head -n 200
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log")
    rm -f "$log"
    if [ -z "$summary" ]; then
        echo "build/$tree: no test summary (ctest exit $status)"
        failed=$((failed + 1))
        continue
    fi
    total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
    bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
    passed=$((passed + total - bad))
    failed=$((failed + bad))
done
octaves=$(for tree in "$@"; do cat "build/$tree/Testing/Temporary/LastTest.log" 2>/dev/null; done |
    sed -n 's/^GNU Octave.* version \([^ ]*\)$/\1/p' | sort -uV | xargs)
echo "Octave versions run: ${octaves:-none}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
