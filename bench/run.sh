#!/bin/sh
# Runs the benchmarks of a built release tree, draws the chart and puts the table and
# chart into docs/performance.md with the machine they came from.
#   bench/run.sh build/release
set -eu
tree=$1
out=bench/results
mkdir -p "$out"
"$tree/bench/bench" dist/linux "$tree/bench/plain" "$tree/octave" "$out"

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
echo "Wrote $out/bench.csv, $out/chart.png and the table in $page"
