#!/usr/bin/env bash
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
wineserver -k 2>/dev/null || true
