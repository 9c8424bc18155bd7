#!/usr/bin/env bash
# Runs a Windows program under the Wine prefix of $PICTARO_ARCH (CTest's emulator).
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec "$WINELOADER" "$@"
