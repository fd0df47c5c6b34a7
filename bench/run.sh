#!/bin/sh
# Runs the benchmarks of a built release tree, draws the chart and puts the table and
# chart into docs/performance.md with the machine they came from, the figures quoted
# from it into the README and edgejoin's help, and the parallel rows
# (bench/octave/bench_parallel.m) into docs/parallel.md. Each LABEL=DIR after the tree
# is another build of the modules, timed beside the delivered one in a column of its own.
#   bench/run.sh build/release [AVX2=build/release/modules_avx2 ...]
set -eu
tree=$1
shift
out=bench/results
mkdir -p "$out"
"$tree/bench/bench" dist/linux "$tree/bench/plain" "$tree/octave" "$out" "$@"

bench/chart.sh "$out"
model=$(lscpu | sed -n 's/^Model name: *//p')
cores=$(nproc)

# docs/performance.md: the part between the two markers is replaced.
page=docs/performance.md
section=$(mktemp)
{
    echo "Measured by \`make bench\` on $model ($cores cores, shared with other work), $(date -u +%Y-%m-%d):"
    echo
    cat "$out/table.md"
    echo
    echo "![bench chart](../$out/chart.png)"
} >"$section"
awk -v f="$section" '
    /<!-- bench begin -->/ { print; while ((getline l < f) > 0) print l; skip = 1; next }
    /<!-- bench end -->/ { skip = 0 }
    !skip' "$page" >"$page.new"
mv "$page.new" "$page"
rm -f "$section"
# The figures that the README and edgejoin's help quote, then the reference page that
# holds the help.
python3 scripts/docs.py speed . --write
python3 scripts/docs.py reference . --write
echo "Wrote $out/bench.csv, $out/chart.png, the table in $page and the figures quoted from it"

# The parallel rows (parcellfun, one worker process and two) into docs/parallel.md,
# with the load they ran under: two workers gain only from an idle second core.
load=$(cut -d ' ' -f 1 /proc/loadavg)
octave-cli --no-gui --norc --quiet --no-history --path bench/octave --path "$tree/octave" \
    --eval "bench_parallel ('$out')"
page=docs/parallel.md
section=$(mktemp)
{
    echo "Measured by \`make bench\` on $model ($cores cores, shared with other work, load average $load at the start), $(date -u +%Y-%m-%d):"
    echo
    cat "$out/parallel.md"
} >"$section"
awk -v f="$section" '
    /<!-- parallel bench begin -->/ { print; while ((getline l < f) > 0) print l; skip = 1; next }
    /<!-- parallel bench end -->/ { skip = 0 }
    !skip' "$page" >"$page.new"
mv "$page.new" "$page"
rm -f "$section"
echo "Wrote $out/parallel.csv and the parallel table in $page"
