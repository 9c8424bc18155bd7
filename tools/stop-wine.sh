#!/usr/bin/env bash
# Ends the wineservers of $PICTARO_ARCH's prefixes, one for each of the
# PICTARO_SEATS seats (default 1), and waits until they are gone, so that the
# next boot starts servers of their own.
tools="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
for seat in $(seq 0 $((${PICTARO_SEATS:-1} - 1))); do
  (
    export PICTARO_SEAT=$seat
    source "$tools/wine-env.sh"
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
  )
done
