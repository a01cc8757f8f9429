#!/usr/bin/env bash
# Runs every fuzz target in a directory: first each seed in fuzz/corpus/<name>
# (and in the public data folders fuzz/corpus/<name>.bench-data lists) once,
# then a bounded, seeded exploration from those seeds. The seed and the
# run count are fixed, so a run is reproducible: what passes here passes in
# CI, and a finding can be replayed from the file libFuzzer writes.
# Targets run side by side (FUZZ_JOBS at a time, default: the processor
# count); each one's summary is printed in order when all have ended.
# Usage: run-fuzzers.sh <dir with *_fuzz executables> <runs per target> [seconds cap]
set -euo pipefail
dir=$1
runs=$2
cap=${3:-30}
jobs=${FUZZ_JOBS:-$(nproc)}
shopt -s nullglob
logs=build/fuzz-logs
rm -rf "$logs"
mkdir -p "$logs" build/fuzz-artifacts

run_one() {
  local target=$1 name seeds work
  name=$(basename "$target")
  seeds="fuzz/corpus/${name%_fuzz}"
  work="build/fuzz-corpus/$name"
  rm -rf "$work"
  mkdir -p "$work"
  if [ -d "$seeds" ]; then cp -r "$seeds"/. "$work"/; fi
  # Public data sets named in fuzz/corpus/<name>.bench-data (folders under
  # KIT_BENCH_DATA, one a line) seed the run too, when they are present.
  if [ -f "$seeds.bench-data" ]; then
    local data=${KIT_BENCH_DATA:-../shared/bench-data} folder
    while read -r folder; do
      [ -n "$folder" ] && [ -d "$data/$folder" ] && find "$data/$folder" -maxdepth 1 -type f -exec cp {} "$work"/ \;
    done <"$seeds.bench-data"
  fi
  "$target" -seed=1 -runs="$runs" -max_total_time="$cap" -rss_limit_mb=2048 -malloc_limit_mb=1024 \
    -artifact_prefix=build/fuzz-artifacts/ -timeout=10 -print_final_stats=1 "$work" >"$logs/$name.log" 2>&1
}

targets=()
for target in "$dir"/*_fuzz; do
  [ -x "$target" ] && targets+=("$target")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets in $dir"
  exit 0
fi

declare -A status
running=0
pids=()
names=()
for target in "${targets[@]}"; do
  if [ $running -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_one "$target" &
  pids+=($!)
  names+=("$(basename "$target")")
  running=$((running + 1))
done

failed=0
for i in "${!pids[@]}"; do
  name=${names[$i]}
  if wait "${pids[$i]}"; then status[$name]=ok; else status[$name]=FAILED; failed=1; fi
  echo "== $name ($runs runs, seed 1): ${status[$name]}"
  if [ "${status[$name]}" = ok ]; then tail -n 4 "$logs/$name.log"; else tail -n 60 "$logs/$name.log"; fi
done
exit $failed
