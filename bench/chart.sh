#!/bin/sh
# Draws RESULTS/chart.png from RESULTS/bench.csv: per workload, the median times of
# the module, the plain loops, the limit and the Octave idiom, on a log scale. Each
# label is the module and its workload, one clause a line, so that no two are alike.
#   bench/chart.sh bench/results
set -eu
out=$1
# The workload is the one quoted field: "n = 8, full table" gives the lines
# "n = 8" and "full table"; "about" and parenthesized sizes are left out.
awk -F'"' 'NR > 1 {
    module = $1; sub(/,$/, "", module)
    label = $2
    gsub(/ \([^)]*\)/, "", label); gsub(/about /, "", label)
    gsub(/, /, "\\n", label); gsub(/ in /, "\\nin ", label)
    split(substr($3, 2), t, ",")
    printf "\"%s\\n%s\"\t%s\t%s\t%s\t%s\n", module, label, t[1], t[2], t[3],
           t[6] == "nan" ? "?" : t[6]
}' "$out/bench.csv" >"$out/chart.dat"

model=$(lscpu | sed -n 's/^Model name: *//p')
cores=$(nproc)
gnuplot <<GP
set terminal pngcairo size 1400,650 font ",10"
set output "$out/chart.png"
set title "Median time per call, log scale ($model, $cores cores)"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.8 border -1
set logscale y
set ylabel "ms"
set key top left
set datafile missing "?"
set xtics font ",9"
set bmargin 5
plot "$out/chart.dat" using 2:xtic(1) title "module", \
     "" using 3 title "plain loops -O2", \
     "" using 4 title "limit", \
     "" using 5 title "Octave idiom"
GP
