#!/bin/sh
# Unpacks a delivered archive into a temporary folder and checks that the folder works
# as it is: named after the archive, holding the three modules beside their help files
# and Contents.m, MATLAB's code suggestions and package definition, and modules that
# pass their platform's structure checks.
#   archive_test.sh ARCHIVE linux|windows|macos [OBJDUMP]
set -u
archive=$1
kind=$2
tool=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL $archive: $*"; exit 1; }
[ -f "$archive" ] || { echo "not built: $archive"; exit 77; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
case "$archive" in
    *.zip) unzip -q "$archive" -d "$tmp" || fail "does not unzip" ;;
    *.tar.gz) tar xzf "$archive" -C "$tmp" || fail "does not untar" ;;
    *) fail "unknown archive type" ;;
esac
name=$(basename "$archive")
name=${name%.zip}
name=${name%.tar.gz}
[ "$(ls "$tmp")" = "$name" ] || fail "unpacks to '$(ls "$tmp" | tr '\n' ' ')', want $name/"
dir=$tmp/$name

case "$kind" in
    linux) suffixes=.mexa64 ;;
    windows) suffixes=.mexw64 ;;
    macos) suffixes=".mexmaci64 .mexmaca64" ;;   # Intel and Apple Silicon
    *) fail "unknown kind $kind" ;;
esac
functions="edgejoin expandTally permanent"
want="Contents.m functionSignatures.json resources"
for f in $functions; do
    want="$want $f.m"
    for suffix in $suffixes; do want="$want $f$suffix"; done
done
got=$(cd "$dir" && ls | LC_ALL=C sort | tr '\n' ' ')
want=$(echo $want | tr ' ' '\n' | LC_ALL=C sort | tr '\n' ' ')
[ "$got" = "$want" ] || fail "holds '$got', want '$want'"
got=$(cd "$dir/resources" && ls | LC_ALL=C sort | tr '\n' ' ')
[ "$got" = "functionSignatures.json mpackage.json " ] ||
    fail "resources/ holds '$got', want 'functionSignatures.json mpackage.json'"

for f in $functions; do
    h1=$(echo "$f" | tr a-z A-Z)
    grep -q "^%$h1  " "$dir/$f.m" || fail "$f.m has no help line %$h1"
    grep -q "^%   $f  *- " "$dir/Contents.m" || fail "Contents.m does not list $f"
    for suffix in $suffixes; do
        case "$kind" in
            linux) sh "$here/structure_linux.sh" "$dir/$f$suffix" ;;
            windows) sh "$here/structure_windows.sh" "$dir/$f$suffix" $tool ;;
            macos) sh "$here/structure_macos.sh" "$dir/$f$suffix" $tool ;;
        esac >/dev/null || fail "$f$suffix fails its structure check"
    done
done

echo "ok $archive"
