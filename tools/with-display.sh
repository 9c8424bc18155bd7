#!/usr/bin/env bash
# Runs a command on the current X display, or on a virtual one started for it
# (1280 x 1024, 24-bit, no window manager) when there is none.
#
# With PICTARO_SEATS above 1, one display for each seat: seat 0 takes the
# current display, if any, and the others virtual ones of their own. Their
# names go to the command in PICTARO_SEAT_DISPLAYS, seat 0's first.
set -euo pipefail
seats="${PICTARO_SEATS:-1}"
pids=()
fdfiles=()
trap 'kill ${pids[@]+"${pids[@]}"} 2>/dev/null; rm -f ${fdfiles[@]+"${fdfiles[@]}"}' EXIT

start_display() {
  local fdfile
  fdfile="$(mktemp)"
  fdfiles+=("$fdfile")
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  displays+=(":$(head -n1 "$fdfile")")
}

displays=()
if [ -n "${DISPLAY:-}" ]; then
  displays+=("$DISPLAY")
else
  start_display
fi
while [ ${#displays[@]} -lt "$seats" ]; do
  start_display
done
export DISPLAY="${displays[0]}"
export PICTARO_SEAT_DISPLAYS="${displays[*]}"
"$@"
