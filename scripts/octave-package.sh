#!/bin/sh
# Lays out the Octave package folder from the tree as it is, for pkg install:
#   scripts/octave-package.sh DESCRIPTION FOLDER MODULE...
# FOLDER gets DESCRIPTION, COPYING, INDEX and post_install.m; inst/ the help file of
# each module followed by the module's Octave test blocks (so that `test NAME` runs
# them from the installed package); src/ the module sources, the host declarations
# and the Makefile that pkg install runs. Run from the top of the tree.
set -eu
description=$1
folder=$2
shift 2
rm -rf "$folder"
mkdir -p "$folder/inst" "$folder/src"
cp "$description" COPYING pkg/INDEX pkg/post_install.m "$folder"
cp pkg/Makefile host/*.h "$folder/src"
for m in "$@"; do
    cp "modules/$m.cpp" "$folder/src"
    { cat "help/$m.m"; echo; sed -n '/^%!/,$p' "tests/octave/${m}_test.m"; } >"$folder/inst/$m.m"
done
