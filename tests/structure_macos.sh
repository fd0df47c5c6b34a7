#!/bin/sh
# Checks a built macOS module file (built here, never run): an x86-64 Mach-O bundle for
# macOS 10.13 on that exports only _mexFunction, loads libmx and libmex through @rpath
# and libSystem, and binds no symbol but the host operations and dyld's binder.
#   structure_macos.sh FILE [LLVM_OBJDUMP]
set -u
file=$1
objdump=${2:-llvm-objdump}
fail() { echo "FAIL $file: $*"; exit 1; }
[ -f "$file" ] || fail "missing"

headers=$($objdump --macho --private-headers "$file" 2>&1) || fail "not Mach-O: $headers"
echo "$headers" | grep -q -E '^ *MH_MAGIC_64 +X86_64 +ALL +[0-9a-fx]+ +BUNDLE ' ||
    fail "not an x86-64 bundle"
minos=$(echo "$headers" | awk '
    /cmd LC_VERSION_MIN_MACOSX/ { v = 1 } v && $1 == "version" { print $2; exit }
    /cmd LC_BUILD_VERSION/ { b = 1 }      b && $1 == "minos" { print $2; exit }')
[ "$minos" = "10.13" ] || fail "minimum macOS is '$minos', want 10.13"
dylibs=$(echo "$headers" | awk '/cmd LC_LOAD_DYLIB/ { d = 1 } d && $1 == "name" { print $2; d = 0 }' |
         sort | tr '\n' ' ')
[ "$dylibs" = "/usr/lib/libSystem.B.dylib @rpath/libmex.dylib @rpath/libmx.dylib " ] ||
    fail "loads '$dylibs'"

exports=$($objdump --macho --exports-trie "$file" | awk '/^0x/ { print $2 }' | tr '\n' ' ')
[ "$exports" = "_mexFunction " ] || fail "exports '$exports', want only _mexFunction"

# "dylib:symbol" for every bound symbol; weak bindings would come from C++ library code.
weak=$($objdump --macho --weak-bind "$file" | awk '$1 == "__DATA" || $1 == "__DATA_CONST"')
[ -z "$weak" ] || fail "weak bindings: $weak"
bound=$( ($objdump --macho --bind "$file"; $objdump --macho --lazy-bind "$file") |
         awk '$1 ~ /^__DATA/ { print $(NF-1) ":" $NF }')
echo "$bound" | grep -q '^libmx:_mxGetPr$' || fail "binds no host operation"
allowed="libmx:_mxIsDouble libmx:_mxIsSparse libmx:_mxGetM libmx:_mxGetN \
libmx:_mxGetNumberOfDimensions_700 libmx:_mxGetNumberOfElements libmx:_mxGetPr \
libmx:_mxCreateDoubleMatrix_700 libmex:_mexErrMsgTxt libSystem:dyld_stub_binder"
for b in $bound; do
    case " $allowed " in *" $b "*) ;; *) fail "binds $b" ;; esac
done
echo "ok $file"
