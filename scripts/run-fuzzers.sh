#!/usr/bin/env bash
# Runs every fuzz target in a directory: first each seed in fuzz/corpus/<name>
# once, then a bounded, seeded exploration from those seeds. The seed and the
# run count are fixed, so a run is reproducible: what passes here passes in
# CI, and a finding can be replayed from the file libFuzzer writes.
# Usage: run-fuzzers.sh <dir with *_fuzz executables> <runs per target> [seconds cap]
set -euo pipefail
dir=$1
runs=$2
cap=${3:-30}
shopt -s nullglob
found=0
for target in "$dir"/*_fuzz; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  seeds="fuzz/corpus/${name%_fuzz}"
  work="build/fuzz-corpus/$name"
  rm -rf "$work"
  mkdir -p "$work"
  if [ -d "$seeds" ]; then cp -r "$seeds"/. "$work"/; fi
  echo "== $name ($runs runs, seed 1)"
  mkdir -p build/fuzz-artifacts
  "$target" -seed=1 -runs="$runs" -max_total_time="$cap" -rss_limit_mb=2048 -malloc_limit_mb=1024 \
    -artifact_prefix=build/fuzz-artifacts/ \
    -timeout=10 -print_final_stats=1 "$work" 2>&1 | tail -n 4
done
[ $found -eq 1 ] || echo "no fuzz targets in $dir"
