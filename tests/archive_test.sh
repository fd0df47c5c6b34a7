#!/bin/sh
# Unpacks a delivered archive into a temporary folder and checks that the folder works
# as it is: named after the archive, holding the three modules beside their help files
# and Contents.m, modules that pass their platform's structure checks, and, for Octave,
# functions that answer when the folder is added to the path.
#   archive_test.sh ARCHIVE linux|windows|macos|octave [OBJDUMP or OCTAVE_CLI]
set -u
archive=$1
kind=$2
tool=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL $archive: $*"; exit 1; }
[ -f "$archive" ] || fail "missing"

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
    octave) suffixes=.mex ;;
    *) fail "unknown kind $kind" ;;
esac
functions="edgejoin expandTally permanent"
want="Contents.m"
for f in $functions; do
    want="$want $f.m"
    for suffix in $suffixes; do want="$want $f$suffix"; done
done
got=$(cd "$dir" && ls | LC_ALL=C sort | tr '\n' ' ')
want=$(echo $want | tr ' ' '\n' | LC_ALL=C sort | tr '\n' ' ')
[ "$got" = "$want" ] || fail "holds '$got', want '$want'"

for f in $functions; do
    h1=$(echo "$f" | tr a-z A-Z)
    grep -q "^%$h1  " "$dir/$f.m" || fail "$f.m has no help line %$h1"
    grep -q "^%   $f  *- " "$dir/Contents.m" || fail "Contents.m does not list $f"
    for suffix in $suffixes; do
        case "$kind" in
            linux) sh "$here/structure_linux.sh" "$dir/$f$suffix" ;;
            windows) sh "$here/structure_windows.sh" "$dir/$f$suffix" $tool ;;
            macos) sh "$here/structure_macos.sh" "$dir/$f$suffix" $tool ;;
            octave) true ;;
        esac >/dev/null || fail "$f$suffix fails its structure check"
    done
done

if [ "$kind" = octave ]; then
    cd "$tmp" && "${tool:-octave-cli}" --no-gui --norc --quiet --no-history --eval "
        addpath ('$dir');
        assert (which ('permanent'), '$dir/permanent.mex');
        assert (permanent ([1 2; 3 4], perms (1:2)), 10);
        [L, F] = expandTally ([2 0 3]);
        assert ({L, F}, {[1 1 3 3 3], 12});
        G = [1 2 0.5; 2 3 0.25; 2 4 1.0];
        [E, W] = edgejoin (G, G);
        assert ({E, W}, {[1 3 0; 1 4 0], [0.5 0.25; 0.5 1.0]});" || fail "functions do not answer"
fi
echo "ok $archive"
