#!/bin/sh
# Static speed estimates of the kernels' inner loops by llvm-mca: an Apple core
# (apple-m1) for the AArch64 code, Zen 3 (znver3) for the x86-64 code. Emulation says
# nothing about speed on arm64, so these estimates stand in for timings there.
#   bench/mca.sh [output.md]        (default bench/results/mca.md; MCA_SHOW=1 prints
#                                    the loops as cut out)
#
# How a loop is cut out: each module source is compiled to assembly by clang, for
# arm64-apple-macos11 and for x86_64-linux-gnu, with the modules' own flags, in a
# wrapper that takes the kernels' addresses so that each is emitted out of line under
# its own symbol. In that function the script takes, of the loops whose header labels
# clang marks as loop headers (innermost ones where the table says "inner"), the one
# whose path holds the named instruction most often (the first on a tie: the main loop
# rather than its remainder loops). The path starts at the header label and
# follows the code in order; an unconditional branch is followed, a conditional
# branch is taken or not as the table's letters say, in the order they are met (T
# taken, N not; past the letters, not taken), and the path ends at a branch back to
# the header or on reaching the header's label again. Its instructions, without
# labels and directives, go to llvm-mca, whose cycles per iteration (total cycles
# over iterations, so dependency chains count) are divided by the rows, pairs or
# counts one iteration does, counted from its instructions (compilers unroll). The
# branch letters follow clang 16's layout of the code: MCA_SHOW=1 shows the paths.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh mca
out=${1:-bench/results/mca.md}
CLANG=$(command -v clang++-16 || command -v clang++-14)
MCA=$(command -v llvm-mca-16 || command -v llvm-mca-14)
work=$(mktemp -d)
[ -n "${MCA_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT

# The modules' flags (cmake/flags.mk), with clang's spelling of no builtins.
flag() { sed -n "s/^$1 = //p" cmake/flags.mk; }
FLAGS="$(flag MEX_STD_FLAG) $(flag MEX_FLAGS) $(flag MEX_LINKED_FLAGS) -fno-builtin -fPIC \
-Ihost -Imodules"

# compile ARCH MODULE KERNEL...: assembly of the module with the kernels kept out of line.
# EXTRA: more flags.
compile() {
    arch=$1 module=$2
    shift 2
    refs=""
    for k in "$@"; do refs="$refs(void *)&$k, "; done
    case $arch in
        arm64) target="--target=arm64-apple-macos11 -ffreestanding -nostdlibinc -nostdinc++" ;;
        x86-64) target="--target=x86_64-linux-gnu" ;;
    esac
    printf '#include "%s.cpp"\nextern void *const mca_kernels[] = {%s};\n' "$module" "$refs" |
        $CLANG $target $FLAGS ${EXTRA:-} -x c++ -S -o "$work/$arch-$module.s" -
}

compile arm64 permanent "neon::add_row_products_in_groups<8>" "neon::add_row_products_in_groups<10>"
compile arm64 expandTally expand
compile arm64 edgejoin neon::count_joins neon::fill_block
# GCC, which builds the Linux and Windows modules, unrolls the AVX2 column loop up to
# n = 10; clang only up to 8 unless told.
EXTRA="-mllvm -unroll-threshold=1000" \
compile x86-64 permanent "avx2::add_row_products_in_groups<8>" "avx2::add_row_products_in_groups<10>"
compile x86-64 expandTally expand
compile x86-64 edgejoin avx2::count_joins avx2::fill_block

# One kernel a line: module, label, arch, function symbol (a part of it), loop kind
# (inner or any), instruction the path holds, branch letters (- for none), the
# instruction counted for the units, units per such instruction, unit name.
cat >"$work/kernels" <<'EOF'
permanent|rows, n = 8|arm64|4neonL26add_row_products_in_groupsILi8E|inner|tbl|-|fcvtzs|0.25|table row
permanent|rows, n = 10|arm64|4neonL26add_row_products_in_groupsILi10E|inner|tbl|-|fcvtzs|0.2|table row
permanent|rows, n = 8|x86-64|4avx2L26add_row_products_in_groupsILi8E|inner|vcvttpd2dq|-|vcvttpd2dq|0.5|table row
permanent|rows, n = 10|x86-64|4avx2L26add_row_products_in_groupsILi10E|inner|vcvttpd2dq|-|vcvttpd2dq|0.4|table row
expandTally|counts of 0 or 1|arm64|expandPKd|any|stp|TNTN|-|1|count
expandTally|counts of 0 or 1|x86-64|expandPKd|any|movdqu|NNNTN|-|1|count
expandTally|long counts|arm64|expandPKd|inner|stp|-|stp|4|element of L
expandTally|long counts|x86-64|expandPKd|inner|movdqu|-|movdqu|2|element of L
edgejoin|counting sweep|arm64|4neonL11count_joins|inner|fcmeq|-|fcmeq|2|compared pair
edgejoin|counting sweep|x86-64|4avx2L11count_joins|inner|vcmpeqpd|-|vcmpeqpd|4|compared pair
edgejoin|filling sweep, no match|arm64|4neonL10fill_block|any|fcmeq|T|fcmeq|2|compared pair
edgejoin|filling sweep, no match|x86-64|4avx2L10fill_block|any|vcmpeqpd|T|vcmpeqpd|4|compared pair
EOF

python3 - "$work" "$MCA" >"$work/rows" <<'PY'
import os, re, subprocess, sys
work, mca = sys.argv[1], sys.argv[2]
label_re = re.compile(r'^(L\w+|\.L\w+):')
# Comments: // or ; on AArch64 (# starts an immediate there), # on x86-64.
comment_re = {'arm64': re.compile(r'\s*(//|;).*$'), 'x86-64': re.compile(r'\s*#.*$')}

def lines_of(path, symbol):
    lines, inside = [], False
    for line in open(path):
        if not inside and re.match(r'^_*\w*%s\w*:' % re.escape(symbol), line):
            inside = True
        elif inside:
            if '-- End function' in line:
                return lines
            lines.append(line.rstrip('\n'))
    raise SystemExit('no function %s in %s' % (symbol, path))

def path_of(lines, header, letters, arch):
    index = {label_re.match(l).group(1): i for i, l in enumerate(lines) if label_re.match(l)}
    i, taken, out = index[header] + 1, list(letters), []
    for _ in range(10000):
        if i >= len(lines):
            break
        line = lines[i]
        m = label_re.match(line)
        if m:
            if m.group(1) == header:
                return out
            i += 1
            continue
        text = comment_re[arch].sub('', line).strip()
        if not text or text.startswith('.'):
            i += 1
            continue
        out.append(text)
        op, _, rest = text.replace('\t', ' ').partition(' ')
        rest = rest.strip()
        target = rest.split(',')[-1].strip() if rest else ''
        branch = op in ('b', 'jmp', 'cbz', 'cbnz', 'tbz', 'tbnz') or op.startswith(('b.', 'j'))
        if branch and target == header:
            return out
        if op in ('b', 'jmp'):
            i = index[target]
        elif branch and target in index and taken and taken.pop(0) == 'T':
            i = index[target]
        else:
            i += 1
    return None   # not a loop this rule can follow

def mnemonic(ins):
    op = ins.split()[0]   # Apple's syntax writes the arrangement on it: fmul.2d
    return op if op.startswith('b.') else op.split('.')[0]

for kernel in open(work + '/kernels'):
    module, label, arch, symbol, kind, needs, letters, unit_op, per, unit = kernel.strip().split('|')
    lines = lines_of('%s/%s-%s.s' % (work, arch, module), symbol)
    letters = '' if letters == '-' else letters
    chosen, most = None, 0
    for i, l in enumerate(lines):
        m = label_re.match(l)
        marks = ' '.join(lines[i:i + 2])
        if not m or 'Loop Header' not in marks:
            continue
        if kind == 'inner' and 'Inner Loop Header' not in marks:
            continue
        p = path_of(lines, m.group(1), letters, arch)
        held = sum(mnemonic(x) == needs for x in p) if p else 0
        if held > most:
            chosen, most = p, held
    if chosen is None:
        raise SystemExit('no loop with %s in %s' % (needs, symbol))
    if os.environ.get('MCA_SHOW'):
        print('== %s %s %s\n%s' % (module, label, arch, '\n'.join(chosen)), file=sys.stderr)
    units = float(per) if unit_op == '-' else \
        sum(mnemonic(x) == unit_op for x in chosen) * float(per)
    cpu, triple = ('apple-m1', 'arm64-apple-macos11') if arch == 'arm64' else \
                  ('znver3', 'x86_64-linux-gnu')
    # The branch targets as labels, so that the assembler knows them.
    targets = {x.replace('\t', ' ').split(',')[-1].split()[-1] for x in chosen
               if mnemonic(x) in ('b', 'jmp', 'cbz', 'cbnz', 'tbz', 'tbnz')
               or mnemonic(x).startswith(('b.', 'j'))}
    text = ''.join(t + ':\n' for t in sorted(targets)) + '\n'.join(chosen) + '\n'
    report = subprocess.run([mca, '-mtriple=' + triple, '-mcpu=' + cpu, '-iterations=1000'],
                            input=text, capture_output=True, text=True,
                            check=True).stdout
    cycles = int(re.search(r'Total Cycles:\s+(\d+)', report).group(1)) / 1000
    print('|'.join([module, label, arch, cpu, str(len(chosen)), '%g' % units, unit,
                    '%.2f' % cycles, '%.3f' % (cycles / units)]))
PY

mca_version=$($MCA --version | sed -n 's/.*LLVM version \([0-9.]*\).*/\1/p')
clang_version=$($CLANG --version | sed -n '1s/.*version \([0-9.]*\).*/\1/p')
{
    echo "Static estimates, not measurements: llvm-mca $mca_version on code from clang"
    echo "$clang_version, in cycles per unit of work of each kernel's inner loop (the loop's"
    echo "cycles per iteration over the work one iteration does). They leave out cache"
    echo "misses, mispredicted branches and the rest of the call. LLVM models apple-m1 with"
    echo "its Cyclone scheduling model (three vector pipes, where M1 has four), so the arm64"
    echo "figures lean high. \`bench/mca.sh\` makes this table and says how it cuts out the"
    echo "loops."
    echo
    echo "| module | loop | cycles per | arm64 NEON, apple-m1 | x86-64, znver3 |"
    echo "|---|---|---|--:|--:|"
    awk -F'|' '
        { key = $1 "|" $2; if (!(key in seen)) { seen[key] = 1; order[++n] = key; unit[key] = $7 }
          est[key, $3] = $9 }
        END { for (i = 1; i <= n; i++) { k = order[i]; split(k, f, "|");
              x = est[k, "x86-64"] (f[1] == "expandTally" ? " (SSE2)" : " (AVX2)");
              printf "| `%s` | %s | %s | %s | %s |\n", f[1], f[2], unit[k], est[k, "arm64"], x } }
    ' "$work/rows"
    echo
    echo "The loops as cut out:"
    echo
    awk -F'|' '{ printf "- `%s`, %s, %s (%s): %s instructions, %s per iteration (%s), %s cycles\n",
                 $1, $2, $3, $4, $5, $6, $7, $8 }' "$work/rows"
} >"$out"
cat "$out"
