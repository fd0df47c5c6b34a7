#!/bin/sh
# Installs the Octave package file the way a user does, in a fresh octave-cli with a
# throwaway prefix, package list and home, and checks the installed package: modules
# compiled from its own sources (the same bytes as the tree's Octave build), the
# suite passing on the installed modules; then that it uninstalls (test_package.m).
# Before that, that a compiler other than GCC or Clang stops its build.
#   octave_package_test.sh PACKAGE VERSION OCTAVE_CLI OCTAVE_MODULE_DIR SUITE_DIR
set -u
package=$1
version=$2
octave=$3
built=$4
suite=$5
fail() { echo "FAIL $package: $*"; exit 1; }
[ -f "$package" ] || fail "missing"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

tar tzf "$package" | grep '\.mex$' && fail "holds built modules"
tar xzf "$package" -C "$tmp" || fail "does not untar"
out=$(CXX=true make -C "$tmp/mexmodules-$version/src" 2>&1) && fail "builds with CXX=true"
echo "$out" | grep -q "GCC or Clang only" || fail "CXX=true stops with: $out"
rm -rf "$tmp/mexmodules-$version"

cd "$tmp" && HOME=$tmp "$octave" --no-gui --norc --no-history --path "$suite" --eval "
    pkg ('prefix', '$tmp/share', '$tmp/arch');
    pkg ('local_list', '$tmp/local_list');
    pkg ('global_list', '$tmp/global_list');
    exit (test_package ('$package', '$built') > 0);" || fail "install, tests or uninstall failed"
[ -d "$tmp/arch/mexmodules-$version" ] && fail "left its folder after uninstall"
echo "ok $package"
