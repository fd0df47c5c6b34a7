#!/bin/sh
# Runs the tests of the given build trees (CMakePresets.json; each tree in build/NAME)
# in one ctest (the test preset all, over build/CTestTestfile.cmake, which this writes),
# so that one schedule fills both cores to the end. Ends with one line "N passed, N
# failed", after the tests that said skipped and one naming the Octave versions that the
# tests ran (each prints its Octave's --version line); exits non-zero when anything
# failed. Each name given in --unbuilt (a tree that could not be built, or the chroot of
# the newest Octave that could not be made) counts as one failed test. Run from the top.
#   scripts/run-tests.sh [--unbuilt "NAME..."] NAME...
set -u
unbuilt=
if [ "${1:-}" = --unbuilt ]; then
    unbuilt=$2
    shift 2
fi
mkdir -p build
{
    echo "# make test: the trees' tests in one run (scripts/run-tests.sh)."
    for tree in "$@"; do
        case " $unbuilt " in *" $tree "*) continue ;; esac
        echo "subdirs(\"$tree\")"
    done
    for name in $unbuilt; do
        echo "add_test(build.$name sh -c \"echo '$name: not built'; exit 1\")"
    done
} >build/CTestTestfile.cmake

log=build/Testing/Temporary/LastTest.log
rm -f "$log"
out=$(mktemp)
ctest --preset all >"$out" 2>&1
status=$?
grep -E 'tests passed|Failed|\*\*\*|FAIL|Error|error:' "$out" | head -n 200
summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$out")
sed -n '/^The following tests did not run:/,/^$/p' "$out"
skipped=$(sed -n '/^The following tests did not run:/,/^$/p' "$out" | grep -c ' - ')
rm -f "$out"
if [ -z "$summary" ]; then
    echo "no test summary (ctest exit $status)"
    echo "0 passed, 1 failed"
    exit 1
fi
total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
failed=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
octaves=$(sed -n 's/^GNU Octave.* version \([^ ]*\)$/\1/p' "$log" 2>/dev/null | sort -uV | xargs)
echo "Skipped: $skipped"
echo "Octave versions run: ${octaves:-none}"
echo "$((total - failed - skipped)) passed, $failed failed"
[ "$failed" -eq 0 ]
