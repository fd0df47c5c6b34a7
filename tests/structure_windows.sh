#!/bin/sh
# Checks a built Windows module file: a PE32+ x86-64 DLL that exports only mexFunction
# and imports the host operations from libmx.dll and libmex.dll, and otherwise only what
# the C runtime's start-up code takes from KERNEL32.dll and msvcrt.dll (no GCC runtime
# DLLs, no library calls of the module's own), with no aligned 32- or 64-byte vector
# move on the stack.
#   structure_windows.sh FILE [OBJDUMP]
set -u
file=$1
objdump=${2:-x86_64-w64-mingw32-objdump}
fail() { echo "FAIL $file: $*"; exit 1; }
[ -f "$file" ] || { echo "not built: $file"; exit 77; }

headers=$($objdump -p "$file" 2>&1) || fail "not a PE file: $headers"
echo "$headers" | grep -q 'file format pei-x86-64' || fail "not x86-64 PE"
echo "$headers" | grep -q -E '^Magic[[:space:]]+020b' || fail "not PE32+"
echo "$headers" | sed -n '/^Characteristics/,/^$/p' | grep -q -w DLL || fail "not a DLL"

exports=$(echo "$headers" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          awk '/\[/ && NR > 1 { print $NF }' | tr '\n' ' ')
[ "$exports" = "mexFunction " ] || fail "exports '$exports', want only mexFunction"

# "DLL NAME: symbol" for every import.
imports=$(echo "$headers" | awk '
    /^The Import Tables/ { on = 1 }
    /^The Export Tables/ { on = 0 }
    on && /DLL Name:/ { dll = $3; next }
    on && dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print dll ":" $3 }
    on && NF == 0 { dll = "" }')
dlls=$(echo "$imports" | sed 's/:.*//' | sort -u | tr '\n' ' ')
[ "$dlls" = "KERNEL32.dll libmex.dll libmx.dll msvcrt.dll " ] ||
    fail "imports from '$dlls', want KERNEL32.dll libmex.dll libmx.dll msvcrt.dll"
echo "$imports" | grep -q '^libmx.dll:mxGetPr$' || fail "imports no host operation"

allowed="libmx.dll:mxIsDouble libmx.dll:mxIsSparse libmx.dll:mxGetM libmx.dll:mxGetN \
libmx.dll:mxGetNumberOfDimensions_700 libmx.dll:mxGetNumberOfElements libmx.dll:mxGetPr \
libmx.dll:mxCreateDoubleMatrix_700 libmex.dll:mexErrMsgTxt"
# The DLL start-up code of mingw-w64's C runtime.
for s in DeleteCriticalSection EnterCriticalSection GetLastError InitializeCriticalSection \
         LeaveCriticalSection Sleep TlsGetValue VirtualProtect VirtualQuery; do
    allowed="$allowed KERNEL32.dll:$s"
done
for s in __iob_func _amsg_exit _initterm _lock _unlock abort calloc free fwrite realloc \
         strlen strncmp vfprintf; do
    allowed="$allowed msvcrt.dll:$s"
done
for i in $imports; do
    case " $allowed " in *" $i "*) ;; *) fail "imports $i" ;; esac
done
# Every function of .text starts inside an entry of the function table (.pdata), whose
# unwind data lets a host error raised as an exception pass through it. Import thunks
# (a function F beside its __imp_F pointer) are a single jump and never hold a frame.
text=$($objdump -h "$file" | awk '$2 == ".text" { print $4 }')
uncovered=$( { echo "TEXT $text"; echo "$headers" | sed -n '/^The Function Table/,/^$/p';
               $objdump -t "$file"; } | gawk '
    $1 == "TEXT" { base = strtonum("0x" $2) }
    /^ [0-9a-f]+:\t/ { lo[n] = strtonum("0x" $2); hi[n++] = strtonum("0x" $3) }
    /^\[ *[0-9]+\]\(sec/ && $NF ~ /^__imp_/ { thunk[substr($NF, 7)] = 1 }
    /\(sec  1\).*\(ty   20\)/ { fn[$NF] = base + strtonum($(NF - 1)) }
    END {
        for (f in fn) {
            if (f in thunk) continue
            ok = 0; s++
            for (i = 0; i < n; i++) if (lo[i] <= fn[f] && fn[f] < hi[i]) ok = 1
            if (!ok) printf "%s ", f
        }
        printf "of %d", s
    }')
case "$uncovered" in
    "of "[1-9]*) ;;
    *) fail "functions without a function table entry: ${uncovered:-(table unreadable)}" ;;
esac
# Windows aligns the stack to 16 bytes only, so a 32- or 64-byte vector moved to or from
# the stack with an aligned move faults wherever a frame lands off that alignment (GCC
# bug 54412). Wine starts threads on an aligned stack and never shows it.
aligned=$($objdump -d --no-show-raw-insn "$file" |
          grep -E 'vmov(ap[sd]|dqa(32|64)?|nt(p[sd]|dq))[[:space:]].*%[yz]mm' | grep -E '\(%r[sb]p')
[ -z "$aligned" ] || fail "moves 32- or 64-byte vectors on the stack aligned: $aligned"
echo "ok $file"
