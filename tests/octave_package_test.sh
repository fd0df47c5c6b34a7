#!/bin/sh
# Installs the Octave package file the way a user does, in a fresh octave-cli with a
# throwaway prefix, package list and home, and checks the installed package: modules
# compiled from its own sources (the same bytes as the tree's Octave build), every
# module's test blocks passing from the installed files, the help check; then that it
# uninstalls. Before that, that a compiler other than GCC or Clang stops its build.
#   octave_package_test.sh PACKAGE VERSION OCTAVE_CLI OCTAVE_MODULE_DIR HELP_TEST
set -u
package=$1
version=$2
octave=$3
built=$4
help_test=$5
fail() { echo "FAIL $package: $*"; exit 1; }
[ -f "$package" ] || fail "missing"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

tar tzf "$package" | grep '\.mex$' && fail "holds built modules"
tar xzf "$package" -C "$tmp" || fail "does not untar"
out=$(CXX=true make -C "$tmp/mexmodules-$version/src" 2>&1) && fail "builds with CXX=true"
echo "$out" | grep -q "GCC or Clang only" || fail "CXX=true stops with: $out"
rm -rf "$tmp/mexmodules-$version"

cd "$tmp" && HOME=$tmp "$octave" --no-gui --norc --no-history --eval "
    pkg ('prefix', '$tmp/share', '$tmp/arch');
    pkg ('local_list', '$tmp/local_list');
    pkg ('global_list', '$tmp/global_list');
    tic; pkg install -local $package; printf ('pkg install: %.1f s\n', toc);
    pkg load mexmodules
    info = pkg ('list');
    assert (info{1}.version, '$version');
    failed = 0;
    for f = {'permanent', 'expandTally', 'edgejoin'}
      mex = which (f{1});
      assert (strncmp (mex, '$tmp/arch/', numel ('$tmp/arch/')), mex);
      assert (file_in_loadpath ([f{1} '.m']), strrep (mex, '.mex', '.m'));
      fid = fopen (mex); got = fread (fid); fclose (fid);
      fid = fopen (['$built/' f{1} '.mex']); want = fread (fid); fclose (fid);
      assert (isequal (got, want), '%s differs from the Octave build', mex);
      [p, n] = test (f{1}, 'quiet', stdout);
      printf ('%s, installed: %d of %d passed\n', f{1}, p, n);
      failed += n == 0 || p != n;
    endfor
    [p, n] = test ('$help_test', 'quiet', stdout);
    printf ('help, installed: %d of %d passed\n', p, n);
    failed += n == 0 || p != n;
    pkg unload mexmodules
    pkg uninstall -local mexmodules
    assert (isempty (pkg ('list')));
    assert (! exist ('$tmp/arch/mexmodules-$version', 'dir'));
    exit (failed > 0);" || fail "install, tests or uninstall failed"
echo "ok $package"
