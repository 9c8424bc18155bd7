#!/usr/bin/env bash
# Makes the Wine prefix of $PICTARO_ARCH once and starts a wineserver that
# stays up, with Wine's background services, before any test runs: for each of
# the PICTARO_SEATS seats (default 1), side by side. Their output goes to a
# log, never to the caller's pipes (CTest would wait for it).
set -euo pipefail
tools="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

boot_seat() {
  export PICTARO_SEAT=$1
  source "$tools/wine-env.sh"
  mkdir -p "$(dirname "$WINEPREFIX")"
  local log="$WINEPREFIX.boot.log"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINELOADER" wineboot -i >"$log" 2>&1 </dev/null
  fi
  # A server already running for this prefix is as good.
  "$WINESERVER" -p >>"$log" 2>&1 </dev/null || true

  # Wine's menu and dialog fonts have no Chinese glyphs and, outside a Chinese
  # locale, no fallback either: link them to the installed CJK font, as Windows
  # links its interface fonts, so that menus and message boxes show the
  # program's text in any locale.
  local fonts_done="$WINEPREFIX/.pictaro-cjk-fonts"
  if [ ! -f "$fonts_done" ]; then
    for face in "Tahoma" "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2"; do
      "$WINELOADER" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d "NotoSansCJK-Regular.ttc,Noto Sans CJK SC" /f >>"$log" 2>&1 </dev/null
    done
    touch "$fonts_done"
  fi
  "$WINELOADER" cmd /c exit >>"$log" 2>&1 </dev/null
}

pids=()
for seat in $(seq 0 $((${PICTARO_SEATS:-1} - 1))); do
  boot_seat "$seat" &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done
exit $status
