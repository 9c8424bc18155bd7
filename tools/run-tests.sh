#!/usr/bin/env bash
# Runs every test on a display, once for each architecture this host can run
# ($ARCH: all, x86 or x64), each under the Wine prefix of its own build.
# Arguments go to CTest.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
skip_file="$(mktemp)"
arches="$(tools/host-arches.sh "${ARCH:-all}" 2>"$skip_file")" || { cat "$skip_file" >&2; rm -f "$skip_file"; exit 1; }
skipped="$(cat "$skip_file")"
rm -f "$skip_file"
exec tools/with-display.sh bash -c '
  arches="$1" skipped="$2"; shift 2
  status=0
  summary=()
  [ -z "$skipped" ] || summary+=("$skipped")
  for arch in $arches; do
    export PICTARO_ARCH=$arch
    unset PICTARO_BUILD_DIR
    source tools/wine-env.sh
    echo "=== $arch suite: $PICTARO_BUILD_DIR ($("$WINELOADER" --version))"
    # Wine'"'"'s services must be up before CTest starts: started from inside the
    # first test, they would hold its output pipe, and that test would seem
    # to hang until the suite ends.
    if ! tools/boot-wine.sh; then
      summary+=("$arch suite FAILED: Wine could not boot (see $PICTARO_BUILD_DIR/wine-boot.log)")
      status=1
      continue
    fi
    start=$SECONDS
    result=passed
    (cd "$PICTARO_BUILD_DIR" && ctest --output-on-failure -j 2 "$@") || { result=FAILED; status=1; }
    tools/stop-wine.sh
    summary+=("$arch suite $result in $((SECONDS - start)) s")
  done
  echo
  printf "%s\n" "${summary[@]}"
  exit $status
' run-tests "$arches" "$skipped" "$@"
