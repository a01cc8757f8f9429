#!/usr/bin/env bash
# Runs every test program of a build tree whole: all of its tests in one
# process, in their order, from the program's source folder (where ctest runs
# each test on its own). A test that leans on state an earlier test in the
# same process left behind (a shared pool, a thread, a clock, a descriptor)
# fails here, where one test per process would hide it.
# Programs run side by side (TEST_JOBS at a time, default: the processor
# count); a passing program prints one line, a failing one its failures and
# the tail of its output.
# TEST_REPEAT runs each program's tests that many times in its one process
# (default 1), so that a test that leaves behind what its own next run trips
# over fails too.
# Each program starts as a script's background job under nohup starts it:
# SIGINT and SIGQUIT ignored, SIGHUP too (ctest starts every test with the
# signals at their defaults), so that a test that leans on the signals its
# program was started with, or hands them on to a program it starts, fails
# here. An interrupt of this script ends the programs still running.
# Usage: run-test-programs.sh <build tree> [source root]
set -uo pipefail
tree=$1
source=${2:-.}
jobs=${TEST_JOBS:-$(nproc)}
repeat=${TEST_REPEAT:-1}
logs=$tree/test-program-logs
rm -rf "$logs"
mkdir -p "$logs"

mapfile -t programs < <(find "$tree" -type f -perm -u+x \( -name '*_test' -o -name '*_engine_test' \) \
                          -not -path '*/CMakeFiles/*' | sort)
if [ ${#programs[@]} -eq 0 ]; then
  echo "no test programs in $tree"
  exit 1
fi

run_one() {
  local program=$1 folder name started exe suppressions
  # The build tree mirrors the source tree: a program's tests run in the
  # source folder its directory mirrors.
  folder=$source/$(dirname "${program#"$tree"/}")
  name=$(basename "$program")
  exe=$(realpath "$program")
  suppressions=$(realpath "$source/scripts/lsan-suppressions.txt")
  started=$(date +%s)
  # As under ctest, the browser engine's known allocations are no leak of
  # ours (the engine tests' LeakSanitizer reads them from the list).
  (cd "$folder" && if [[ $name == *_engine_test ]]; then export LSAN_OPTIONS=suppressions=$suppressions; fi &&
     trap '' INT QUIT HUP && exec "$exe" --gtest_brief=1 --gtest_repeat="$repeat") >"$logs/$name.log" 2>&1 &
  echo $! >"$logs/$name.pid"
  wait $!
  local status=$?
  rm -f "$logs/$name.pid"
  echo "$status $(($(date +%s) - started))" >"$logs/$name.status"
  return $status
}

# The programs ignore an interrupt: one of this script ends them.
stop_programs() {
  local file
  for file in "$logs"/*.pid; do
    [ -e "$file" ] && kill -TERM "$(cat "$file")" 2>/dev/null
  done
  exit 130
}
trap stop_programs INT TERM

running=0
for program in "${programs[@]}"; do
  if [ $running -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
  run_one "$program" &
  running=$((running + 1))
done
wait

failed=0
for program in "${programs[@]}"; do
  name=$(basename "$program")
  read -r status seconds <"$logs/$name.status"
  if [ "$status" = 0 ]; then
    echo "== $name whole: ok (${seconds} s)"
  else
    failed=1
    echo "== $name whole: FAILED (exit $status, ${seconds} s)"
    grep -E '^\[  FAILED  \]|Failure$|ERROR: (Address|Leak)Sanitizer|runtime error' "$logs/$name.log" | head -n 40
    tail -n 30 "$logs/$name.log"
  fi
done
exit $failed
