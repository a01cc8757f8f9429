#!/usr/bin/env bash
# Runs every benchmark program in a directory; each prints its own ratios
# against the peer it measures in the same run.
set -euo pipefail
dir=$1
shopt -s nullglob
for b in "$dir"/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2
done
