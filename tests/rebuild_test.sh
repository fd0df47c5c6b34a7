#!/bin/sh
# Builds the deliverables of each platform that dist/ holds a second time, from a copy
# of the tree without build/ and dist/ in another folder, with the same
# SOURCE_DATE_EPOCH and with no test configured (so nothing of the test framework is
# needed), and compares every file of the two dist/ folders byte for byte.
#   rebuild_test.sh SOURCE_DIR SOURCE_DATE_EPOCH
set -u
src=$1
epoch=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

[ -d "$src/dist/linux" ] || { echo "not built: $src/dist/linux"; exit 77; }
targets=dist-linux
for p in windows macos; do
    [ -d "$src/dist/$p" ] && targets="$targets dist-$p"
done
mkdir "$tmp/tree"
(cd "$src" && tar --exclude=./build --exclude=./dist --exclude=./.git -cf - .) |
    tar -xf - -C "$tmp/tree"
unset MAKEFLAGS MFLAGS MAKELEVEL
(cd "$tmp/tree" && SOURCE_DATE_EPOCH=$epoch make -k --no-print-directory $targets \
    DIST_TARGET=deliverables BUILD_TESTING=OFF) >"$tmp/build.log" 2>&1 || tail -n 20 "$tmp/build.log"

if diff -rq "$src/dist" "$tmp/tree/dist"; then
    echo "ok: $(cd "$src/dist" && find . -type f | wc -l) files the same ($targets)"
else
    echo "FAIL: the files named above differ between two builds"
    exit 1
fi
