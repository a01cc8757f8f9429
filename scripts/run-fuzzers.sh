#!/usr/bin/env bash
# Runs every fuzz target in a directory for a bounded time each.
# Usage: run-fuzzers.sh <dir with *_fuzz executables> <seconds per target>
set -euo pipefail
dir=$1
seconds=$2
shopt -s nullglob
found=0
for target in "$dir"/*_fuzz; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  corpus="build/fuzz-corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  if [ -d "fuzz/corpus/${name%_fuzz}" ]; then seeds+=("fuzz/corpus/${name%_fuzz}"); fi
  echo "== $name (${seconds}s)"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    "$corpus" "${seeds[@]}" 2>&1 | tail -n 4
done
[ $found -eq 1 ] || echo "no fuzz targets in $dir"
