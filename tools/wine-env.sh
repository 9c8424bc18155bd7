# Sourced by every script that runs Wine: one prefix inside the build folder,
# 32-bit like the target, quiet, and never asking to download Mono or Gecko.
pictaro_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${PICTARO_BUILD_DIR:-$pictaro_root/build}/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
