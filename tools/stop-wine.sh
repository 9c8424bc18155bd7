#!/usr/bin/env bash
# Ends the wineserver of $PICTARO_ARCH's prefix and waits until it is gone, so
# that the next boot starts a server of its own.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
"$WINESERVER" -k 2>/dev/null || true
"$WINESERVER" -w 2>/dev/null || true
