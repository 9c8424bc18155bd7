#!/usr/bin/env bash
# Runs the benchmarks on a display, once for each architecture this host can
# run ($ARCH: all, x86 or x64), under the Wine prefix of its own build, and
# prints their tables. Each compares against the bare decode of its own build.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
arches="$(tools/host-arches.sh "${ARCH:-all}")"
# The summary lines (RATIO <name>-<arch> <value>) are gathered at the end.
exec tools/with-display.sh bash -c '
  set -e
  ratios="$(mktemp)"
  trap "rm -f $ratios" EXIT
  for arch in $1; do
    export PICTARO_ARCH=$arch
    unset PICTARO_BUILD_DIR
    source tools/wine-env.sh
    tools/boot-wine.sh
    trap "tools/stop-wine.sh; rm -f $ratios" EXIT
    echo "=== $arch: $(nproc) cores, $(uname -m) host, $("$WINELOADER" --version)"
    echo
    /usr/bin/python3 bench/startup.py "$PICTARO_BUILD_DIR/Pictaro.exe" \
      "$PICTARO_BUILD_DIR/bench/bench_minimal_window.exe" | tee -a "$ratios"
    for exe in "$PICTARO_BUILD_DIR"/bench/bench_*.exe; do
      case "$exe" in *bench_minimal_window.exe) continue ;; esac
      echo
      tools/wine-run.sh "$exe" | tr -d "\r" | tee -a "$ratios"
    done
    tools/stop-wine.sh
    echo
  done
  echo "Summary"
  grep "^RATIO " "$ratios" || echo "(no figures)"
' run-bench "$arches"
