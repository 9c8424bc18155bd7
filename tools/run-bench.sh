#!/usr/bin/env bash
# Runs the benchmarks on a display under the project's Wine prefix and prints
# their tables.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export PICTARO_BUILD_DIR="${PICTARO_BUILD_DIR:-$PWD/build}"
exec tools/with-display.sh bash -c '
  set -e
  tools/boot-wine.sh
  trap tools/stop-wine.sh EXIT
  echo "Machine: $(nproc) cores, $(uname -m), $(wine --version)"
  echo
  /usr/bin/python3 bench/startup.py "$PICTARO_BUILD_DIR/Pictaro.exe" \
    "$PICTARO_BUILD_DIR/bench/bench_minimal_window.exe"
  for exe in "$PICTARO_BUILD_DIR"/bench/bench_*.exe; do
    case "$exe" in *bench_minimal_window.exe) continue ;; esac
    echo
    tools/wine-run.sh "$exe" | cat
  done
'
