#!/usr/bin/env bash
# Runs the client in a desktop window against the simulator, for a person
# to use: the simulator starts, writes its services file, and the client
# (gameclient --window) reaches it. Closing the window ends the client
# through its terminate path; the simulator is stopped after it.
#
#   bash scripts/play.sh BIN_DIR [DEVICE]
set -euo pipefail

bin=${1:?usage: play.sh BIN_DIR [DEVICE]}
device=${2:-phone375x667}
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "play: no display (DISPLAY is not set); the client window needs a desktop" >&2
  exit 1
fi

dir=out/play
mkdir -p "$dir"
services="$dir/services.plist"
rm -f "$services"
"$bin/simulator" --services "$services" >"$dir/simulator.log" 2>&1 &
simulator=$!
stop_simulator() {
  if kill -0 "$simulator" 2>/dev/null; then
    kill -TERM "$simulator"
    wait "$simulator" || true
  fi
}
trap stop_simulator EXIT

# The simulator prints "simulator: ready" once its services listen and the file is
# written.
for _ in $(seq 1 100); do
  grep -q '^simulator: ready' "$dir/simulator.log" 2>/dev/null && break
  kill -0 "$simulator" 2>/dev/null || { cat "$dir/simulator.log" >&2; exit 1; }
  sleep 0.1
done
grep -q '^simulator: ready' "$dir/simulator.log" || { echo "play: the simulator did not start" >&2; exit 1; }
echo "play: simulator running (log: $dir/simulator.log); opening the client window"
# The simulator's ready line names the account it starts with.
grep '^simulator: ready' "$dir/simulator.log"

GAMECLIENT_SERVICES="$services" "$bin/gameclient" --window --device "$device"
