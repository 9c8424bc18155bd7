#!/usr/bin/env bash
# Runs every test on a display under the project's Wine prefix.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
exec tools/with-display.sh bash -c '
  tools/boot-wine.sh
  status=0
  (cd "${PICTARO_BUILD_DIR:-build}" && ctest --output-on-failure -j 2 "$@") || status=$?
  tools/stop-wine.sh
  exit $status
' run-tests "$@"
