#!/bin/sh
# Runs one fuzzer for a bounded time on a working copy of its seed corpus, and prints
# its final figures.
#   fuzz/run-fuzzer.sh FUZZER SEEDS WORKDIR SECONDS [fresh]
# WORKDIR keeps the corpus the fuzzer grows, and any crashing input; with "fresh" it
# is emptied first. The seed folder itself is never written.
set -eu
fuzzer=$1 seeds=$2 work=$3 seconds=$4
[ "${5:-}" = fresh ] && rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
[ -d "$seeds" ] && cp -n "$seeds"/* "$work/corpus/" 2>/dev/null || true
log="$work/fuzz.log"
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" >"$log" 2>&1 ||
    status=$?
if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "$(basename "$fuzzer"): failed (exit $status); inputs in $work/artifacts"
    exit 1
fi
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
cov=$(grep -E '^#[0-9]+.*cov:' "$log" | tail -n 1 | sed -E 's/.* cov: ([0-9]+).*/\1/')
echo "$(basename "$fuzzer"): $runs runs in ${seconds} s, no failure; coverage $cov, corpus $(ls "$work/corpus" | wc -l), peak ${peak} MB"
