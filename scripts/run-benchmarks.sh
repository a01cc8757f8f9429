#!/usr/bin/env bash
# Runs every benchmark program in a directory and ends with one table of all
# the comparisons they make against their peers.
#
# Usage: run-benchmarks.sh <directory of *_bench programs> [benchmark flags...]
# Extra flags go to every program after ours (a later flag wins), e.g.
# --benchmark_min_time=0.05 for a quick look.
#
# How the figures are made: every program runs with
#   --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#   --benchmark_enable_random_interleaving=true
# so each benchmark runs five times, its repetitions interleaved in random
# order with its peer's, and reports only the aggregates. Each program then
# computes its ratios from the medians (bench/bench_support.h) and prints
# every comparison as one line:
#   RATIO <name> <ours/peer> goal <= <goal> <met|not met>
# ("n/a ... not run" when a side did not run). The goals live in the bench
# sources. This script collects those lines from every program and prints
# them as one table at the end. Timing goals are reported, not enforced: an
# unmet goal does not fail the run, a program that fails does.
set -uo pipefail
dir=${1:?usage: run-benchmarks.sh <bench directory> [benchmark flags...]}
shift
shopt -s nullglob

flags=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true
       --benchmark_enable_random_interleaving=true --benchmark_min_time=0.2)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
failed=()

for b in "$dir"/*_bench; do
  [ -x "$b" ] || continue
  name=$(basename "$b")
  echo "== $name"
  "$b" "${flags[@]}" "$@" 2>&1 | tee -a "$log"
  status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] || failed+=("$name (exit $status)")
done

echo
echo "== Ratios against the peers (ours/peer, median of 5; lower is better)"
awk '
  # A line may carry the console reporter's colour codes in front.
  /RATIO / {
    sub(/^.*RATIO /, "")
    verdict = $6; for (i = 7; i <= NF; ++i) verdict = verdict " " $i
    rows[++n] = sprintf("%-48s %8s   <= %-6s %s", $1, ($2 == "n/a" ? "n/a" : $2 "x"), $5 "x", verdict)
    if (verdict == "met") ++met
  }
  END {
    printf "%-48s %8s   %-9s %s\n", "comparison", "ratio", "goal", "verdict"
    for (i = 1; i <= n; ++i) print rows[i]
    printf "%d of %d goals met\n", met, n
  }' "$log"

if [ ${#failed[@]} -gt 0 ]; then
  echo "Benchmark programs that failed: ${failed[*]}"
  exit 1
fi
