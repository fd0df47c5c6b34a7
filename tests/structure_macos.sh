#!/bin/sh
# Checks a built macOS module file: a Mach-O bundle for its extension's CPU (.mexmaci64:
# x86-64, macOS 10.13 on; .mexmaca64: arm64, macOS 11 on, signed) that exports only
# _mexFunction, loads libmx and libmex through @rpath and libSystem, binds no symbol but
# the host operations and dyld's binder, and has an unwind entry for every function.
#   structure_macos.sh FILE [LLVM_OBJDUMP]
set -u
file=$1
objdump=${2:-llvm-objdump}
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL $file: $*"; exit 1; }
[ -f "$file" ] || { echo "not built: $file"; exit 77; }
case "$file" in
    *.mexmaci64) cpu=X86_64 want_minos=10.13 dwarf_mode=0x04000000 ;;
    *.mexmaca64) cpu=ARM64 want_minos=11.0 dwarf_mode=0x03000000 ;;
    *) fail "not a macOS module extension" ;;
esac

headers=$($objdump --macho --private-headers "$file" 2>&1) || fail "not Mach-O: $headers"
echo "$headers" | grep -q -E "^ *MH_MAGIC_64 +$cpu +ALL +[0-9a-fx]+ +BUNDLE " ||
    fail "not a $cpu bundle"
minos=$(echo "$headers" | awk '
    /cmd LC_VERSION_MIN_MACOSX/ { v = 1 } v && $1 == "version" { print $2; exit }
    /cmd LC_BUILD_VERSION/ { b = 1 }      b && $1 == "minos" { print $2; exit }')
[ "$minos" = "$want_minos" ] || fail "minimum macOS is '$minos', want $want_minos"
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
# Every function (LC_FUNCTION_STARTS) lies below the index's end and has an entry in
# __unwind_info with a real encoding; a DWARF-mode entry names an FDE of __eh_frame.
# Without one, the unwinder gives up on a host error raised through the module.
starts=$($objdump --macho --function-starts "$file" | awk '/^[0-9a-f]+$/ { print $1 }' | tr '\n' ' ')
[ -n "$starts" ] || fail "no function starts"
fdes=$($objdump --macho --dwarf=frames "$file" | awk '$4 == "FDE" { print $1 }' | tr '\n' ' ')
uncovered=$( { $objdump --macho --unwind-info "$file"; echo "STARTS $starts"; echo "FDES $fdes"; } |
    gawk -v dwarf=$dwarf_mode '
    function num(h) { return strtonum(h) }
    /Top level indices/ { top = 1 }
    /Second level index/ { top = 0 }
    top && /function offset=/ { match($0, /function offset=0x[0-9a-f]+/)
                                end = num(substr($0, RSTART + 16, RLENGTH - 16)) }
    !top && /function offset=.*encoding/ {
        match($0, /function offset=0x[0-9a-f]+/); at[n] = num(substr($0, RSTART + 16, RLENGTH - 16))
        match($0, /=0x[0-9a-f]+$/); enc[n++] = num(substr($0, RSTART + 1)) }
    $1 == "STARTS" { for (i = 2; i <= NF; i++) start[s++] = num("0x" $i) }
    $1 == "FDES" { for (i = 2; i <= NF; i++) fde[num("0x" $i)] = 1 }
    END {
        for (i = 0; i < s; i++) {
            f = start[i]; e = -1
            for (j = 0; j < n; j++) if (at[j] <= f) e = enc[j]
            if (f >= end || e <= 0 ||
                (and(e, 0x0F000000) == strtonum(dwarf) && !(and(e, 0xFFFFFF) in fde)))
                printf "0x%x ", f
        }
        printf "of %d", s
    }')
case "$uncovered" in
    "of "[1-9]*) ;;
    *) fail "functions without an unwind entry: ${uncovered:-(unwind info unreadable)}" ;;
esac
# Apple Silicon runs only signed code: the arm64 bundles carry the linker's ad hoc
# signature, whose page hashes must match the file as shipped.
if [ $cpu = ARM64 ]; then
    python3 "$here/codesign_check.py" "$file" || fail "code signature does not match"
fi
echo "ok $file"
