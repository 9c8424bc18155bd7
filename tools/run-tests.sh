#!/usr/bin/env bash
# Runs every test once for each architecture this host can run ($ARCH: all,
# x86 or x64), each under the Wine prefixes of its own build. Arguments go to
# CTest.
#
# Tests run side by side on PICTARO_SEATS seats (default: one per core), each
# seat a display, a Wine prefix and a wineserver of its own; CTest gives every
# test that runs under Wine one seat for itself (the resource "seat").
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
skip_file="$(mktemp)"
arches="$(tools/host-arches.sh "${ARCH:-all}" 2>"$skip_file")" || { cat "$skip_file" >&2; rm -f "$skip_file"; exit 1; }
skipped="$(cat "$skip_file")"
rm -f "$skip_file"
export PICTARO_SEATS="${PICTARO_SEATS:-$(nproc)}"
exec tools/with-display.sh bash -c '
  arches="$1" skipped="$2"; shift 2
  status=0
  summary=()
  [ -z "$skipped" ] || summary+=("$skipped")
  for arch in $arches; do
    export PICTARO_ARCH=$arch
    unset PICTARO_BUILD_DIR
    source tools/wine-env.sh
    echo "=== $arch suite: $PICTARO_BUILD_DIR ($("$WINELOADER" --version), $PICTARO_SEATS seats)"
    # Wine'"'"'s services must be up before CTest starts: started from inside the
    # first test, they would hold its output pipe, and that test would seem
    # to hang until the suite ends.
    if ! tools/boot-wine.sh; then
      summary+=("$arch suite FAILED: Wine could not boot (see $PICTARO_BUILD_DIR/wineprefix*.boot.log)")
      status=1
      continue
    fi
    seats_file="$PICTARO_BUILD_DIR/seats.json"
    ids=""
    for seat in $(seq 0 $((PICTARO_SEATS - 1))); do
      ids="$ids${ids:+,}{\"id\": \"$seat\", \"slots\": 1}"
    done
    echo "{\"version\": {\"major\": 1, \"minor\": 0}, \"local\": [{\"seat\": [$ids]}]}" >"$seats_file"
    start=$SECONDS
    result=passed
    # One more job than seats: the tests that need no seat run beside them.
    (cd "$PICTARO_BUILD_DIR" &&
      ctest --output-on-failure -j $((PICTARO_SEATS + 1)) --resource-spec-file "$seats_file" "$@") ||
      { result=FAILED; status=1; }
    tools/stop-wine.sh
    summary+=("$arch suite $result in $((SECONDS - start)) s")
  done
  echo
  printf "%s\n" "${summary[@]}"
  exit $status
' run-tests "$arches" "$skipped" "$@"
