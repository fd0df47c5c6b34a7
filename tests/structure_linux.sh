#!/bin/sh
# Checks a built Linux module file: an x86-64 ELF shared object that exports only
# mexFunction at version MEX, declares MATLAB's needed libraries and no search path,
# and imports nothing but host operations and the toolchain's start-up code.
set -u
file=$1
fail() { echo "FAIL $file: $*"; exit 1; }
[ -f "$file" ] || { echo "not built: $file"; exit 77; }

header=$(readelf -h "$file") || fail "not an ELF file"
echo "$header" | grep -q 'Class:.*ELF64' || fail "not ELF64"
echo "$header" | grep -q 'Type:.*DYN' || fail "not a shared object"
echo "$header" | grep -q 'Machine:.*X86-64' || fail "not x86-64"

needed=$(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
want="libmx.so libmex.so libmat.so libm.so.6 libstdc++.so.6 libpthread.so.0 libc.so.6 "
[ "$needed" = "$want" ] || fail "needed libraries are '$needed', want '$want'"
readelf -d "$file" | grep -q -E 'RPATH|RUNPATH' && fail "carries a library search path"

syms=$(readelf --dyn-syms -W "$file" | awk 'NR > 3 && $8 != "" { print $7, $8 }')
defined=$(echo "$syms" | awk '$1 != "UND" { print $2 }' | sort | tr '\n' ' ')
[ "$defined" = "MEX mexFunction@@MEX " ] || fail "defines '$defined', want only mexFunction@@MEX"

allowed="mxIsDouble mxIsSparse mxGetM mxGetN mxGetNumberOfDimensions_700 \
mxGetNumberOfElements mxGetPr mxCreateDoubleMatrix_700 mexErrMsgTxt \
__cxa_finalize __gmon_start__ _ITM_deregisterTMCloneTable _ITM_registerTMCloneTable"
for s in $(echo "$syms" | awk '$1 == "UND" { sub(/@.*/, "", $2); print $2 }'); do
    case " $allowed " in *" $s "*) ;; *) fail "imports $s" ;; esac
done
# Every function compiled into the module lies inside an FDE of .eh_frame, so that a host
# error unwinds through it. (The start-up code from crtbegin and crti has symbols of size
# 0 and no FDEs; it never runs inside a call.)
uncovered=$( { readelf --debug-dump=frames "$file"; readelf -sW "$file"; } | gawk '
    $4 == "FDE" { split(substr($6, 4), r, /\.\./); lo[n] = strtonum("0x" r[1]); hi[n++] = strtonum("0x" r[2]) }
    $4 == "FUNC" && $3 > 0 && $7 != "UND" && !seen[$2]++ {
        a = strtonum("0x" $2); b = a + $3; ok = 0; s++
        for (i = 0; i < n; i++) if (lo[i] <= a && b <= hi[i]) ok = 1
        if (!ok) printf "%s ", $8 }
    END { printf "of %d", s }')
case "$uncovered" in
    "of "[1-9]*) ;;
    *) fail "functions without an FDE: ${uncovered:-(frames unreadable)}" ;;
esac
echo "ok $file"
