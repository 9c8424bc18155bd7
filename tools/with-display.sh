#!/usr/bin/env bash
# Runs a command on the current X display, or on a virtual one started for it
# (1280 x 1024, 24-bit, no window manager) when there is none.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
fdfile="$(mktemp)"
exec 3>"$fdfile"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -f "$fdfile"' EXIT
for _ in $(seq 100); do
  [ -s "$fdfile" ] && break
  sleep 0.1
done
export DISPLAY=":$(head -n1 "$fdfile")"
exec 3>&-
"$@"
