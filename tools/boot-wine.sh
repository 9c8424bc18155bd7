#!/usr/bin/env bash
# Makes the Wine prefix once and starts a wineserver that stays up, with
# Wine's background services, before any test runs. Their output goes to a
# log, never to the caller's pipes (CTest would wait for it).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
mkdir -p "$(dirname "$WINEPREFIX")"
log="$(dirname "$WINEPREFIX")/wine-boot.log"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >"$log" 2>&1 </dev/null
fi
wineserver -p >>"$log" 2>&1 </dev/null
wine cmd /c exit >>"$log" 2>&1 </dev/null
