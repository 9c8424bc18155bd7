#!/usr/bin/env bash
# Runs Pictaro under Wine: the x86 build where the host can run 32-bit code,
# else the x64 one ($ARCH picks one outright). On a machine without a display
# it runs the viewer on a virtual one instead, saves a screenshot and closes it
# again.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export PICTARO_ARCH="$(tools/host-arches.sh "${ARCH:-all}" | head -n1)"
source tools/wine-env.sh
echo "Running the $PICTARO_ARCH build: $PICTARO_BUILD_DIR/Pictaro.exe"

if [ -n "${DISPLAY:-}" ]; then
  tools/boot-wine.sh
  status=0
  tools/wine-run.sh "$PICTARO_BUILD_DIR/Pictaro.exe" || status=$?
  exit $status
fi

exec tools/with-display.sh bash -c '
  tools/boot-wine.sh
  /usr/bin/python3 tools/show-viewer.py "$1" "$2"
  status=$?
  tools/stop-wine.sh
  exit $status
' run-viewer "$PICTARO_BUILD_DIR/Pictaro.exe" "$PICTARO_BUILD_DIR/pictaro-screenshot.png"
