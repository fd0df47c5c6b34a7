#!/bin/sh
# Installs the Octave package file the way a user does, in a fresh octave-cli with a
# throwaway prefix, package list and home, and checks the installed package: modules
# compiled from its own sources (the same bytes as the tree's Octave build, unless
# OCTAVE_MODULE_DIR is empty), the suite passing on the installed modules; then that
# it uninstalls and leaves nothing (test_package.m). Before that, that a compiler
# other than GCC or Clang stops its build.
#   octave_package_test.sh PACKAGE VERSION OCTAVE_CLI OCTAVE_MODULE_DIR SUITE_DIR
set -u
fail() { echo "FAIL $package: $*"; exit 1; }
package=$1
[ -f "$package" ] || { echo "not built: $package"; exit 77; }
package=$(realpath "$package")
version=$2
octave=$3
built=$4
suite=$(realpath "$5")
"$octave" --version | grep -m 1 '^GNU Octave'
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

tar tzf "$package" | grep '\.mex$' && fail "holds built modules"
tar xzf "$package" -C "$tmp" || fail "does not untar"
out=$(CXX=true make -C "$tmp/mexmodules-$version/src" 2>&1) && fail "builds with CXX=true"
echo "$out" | grep -q "GCC or Clang only" || fail "CXX=true stops with: $out"
# The build as `make -n` shows it with mkoctfile's compiler CXX (a script made from
# its lines). MinGW's tools on Windows may end lines with CR: mkoctfile's answers here do.
dry_run() {
    printf '#!/bin/sh\n%s\n' "$1" >"$tmp/cxx"
    printf '#!/bin/sh\nprintf "%%s\\r\\n" "%s"\n' "$tmp/cxx" >"$tmp/mkoctfile"
    chmod +x "$tmp/cxx" "$tmp/mkoctfile"
    out=$(make -n -C "$tmp/mexmodules-$version/src" MKOCTFILE="$tmp/mkoctfile" 2>&1)
}
unaligned=-Wa,-muse-unaligned-vector-move
builds() { echo "$out" | grep -e '--mex' | grep -c -e "$1" -; }
dry_run 'g++ "$@" | sed "s/$/\r/"' || fail "GCC through tools that end lines with CR stops with: $out"
[ "$(builds "$unaligned")" = 0 ] || fail "passes $unaligned for Linux: $out"
# Windows (GCC that defines _WIN32): the assembler's option where it takes it, else a warning.
dry_run 'exec g++ -D_WIN32=1 "$@"' || fail "GCC for Windows stops with: $out"
[ "$(builds "$unaligned")" = "$(builds .)" ] && [ "$(builds .)" -gt 0 ] ||
    fail "GCC for Windows builds without $unaligned: $out"
dry_run 'case "$*" in *unaligned*) exit 1 ;; esac; exec g++ -D_WIN32=1 "$@"' ||
    fail "GCC for Windows with an older assembler stops with: $out"
[ "$(builds "$unaligned")" = 0 ] || fail "passes $unaligned to an older assembler: $out"
echo "$out" | grep -q "does not take $unaligned" || fail "an older assembler gives no warning: $out"
rm -rf "$tmp/mexmodules-$version"

cd "$tmp" && HOME=$tmp "$octave" --no-gui --norc --no-history --path "$suite" --eval "
    pkg ('prefix', '$tmp/share', '$tmp/arch');
    pkg ('local_list', '$tmp/local_list');
    pkg ('global_list', '$tmp/global_list');
    exit (test_package ('$package'${built:+, '$built'}) > 0);" || fail "install, tests or uninstall failed"
for d in "$tmp/arch/mexmodules-$version" "$tmp/share/mexmodules-$version"; do
    [ -d "$d" ] && fail "left $d after uninstall"
done
echo "ok $package"
