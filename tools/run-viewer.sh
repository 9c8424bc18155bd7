#!/usr/bin/env bash
# Runs Pictaro under Wine. On a machine without a display it runs the viewer on
# a virtual one instead, saves a screenshot and closes it again.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build="${PICTARO_BUILD_DIR:-$PWD/build}"

if [ -n "${DISPLAY:-}" ]; then
  tools/boot-wine.sh
  status=0
  tools/wine-run.sh "$build/Pictaro.exe" || status=$?
  exit $status
fi

exec tools/with-display.sh bash -c '
  tools/boot-wine.sh
  /usr/bin/python3 tools/show-viewer.py "$1" "$2"
  status=$?
  tools/stop-wine.sh
  exit $status
' run-viewer "$build/Pictaro.exe" "$build/pictaro-screenshot.png"
