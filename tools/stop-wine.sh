#!/usr/bin/env bash
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
"$WINESERVER" -k 2>/dev/null || true
