#!/bin/sh
# Lays out the Octave package folder from the tree as it is, for pkg install:
#   scripts/octave-package.sh DESCRIPTION FOLDER MODULE...
# FOLDER gets DESCRIPTION, COPYING, INDEX and post_install.m; inst/ the help file of
# each module followed by a test block that runs the suite's cases of that module (so
# that `test NAME` and `pkg test` run them on the installed modules), and inst/tests/
# the suite run_module_tests.m, which the blocks put on the path only while they run;
# src/ the module sources, the host declarations, the Makefile that pkg install runs
# and the flags it includes. Run from the top of the tree.
set -eu
description=$1
folder=$2
shift 2
rm -rf "$folder"
mkdir -p "$folder/inst/tests" "$folder/src"
cp "$description" COPYING pkg/INDEX pkg/post_install.m "$folder"
cp pkg/Makefile cmake/flags.mk host/*.h "$folder/src"
cp tests/matlab/run_module_tests.m "$folder/inst/tests"
for m in "$@"; do
    cp "modules/$m.cpp" "$folder/src"
    { cat "help/$m.m"; echo
      cat <<EOF
%!test
%! here = fileparts (which ('$m'));
%! addpath (fullfile (here, 'tests'));
%! unwind_protect
%!   assert (run_module_tests (here, '$m'), 0);
%! unwind_protect_cleanup
%!   rmpath (fullfile (here, 'tests'));
%! end_unwind_protect
EOF
    } >"$folder/inst/$m.m"
done
