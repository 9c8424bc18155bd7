# Sourced by every script that runs Wine. PICTARO_ARCH (x86 or x64, default
# x86) picks the build and its own Wine prefix inside the build folder: 32-bit
# for x86, like the target, and 64-bit for x64. The loader is named outright:
# Debian's `wine` takes the 32-bit loader whenever its file exists, even on a
# kernel that cannot run 32-bit code. Quiet, and never asking to download Mono
# or Gecko.
#
# A test run on several seats (tools/run-tests.sh) gives each seat a prefix, a
# wineserver and a display of its own, so that tests on different seats share
# no window, focus, cursor or registry. CTest names a test's seat; PICTARO_SEAT
# names it outside CTest, and seat 0 is the build's plain prefix.
pictaro_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export PICTARO_ARCH="${PICTARO_ARCH:-x86}"
case "$PICTARO_ARCH" in
  x86)
    export PICTARO_BUILD_DIR="${PICTARO_BUILD_DIR:-$pictaro_root/build}"
    export WINEARCH=win32
    export WINELOADER=/usr/lib/wine/wine
    ;;
  x64)
    export PICTARO_BUILD_DIR="${PICTARO_BUILD_DIR:-$pictaro_root/build-x64}"
    export WINEARCH=win64
    export WINELOADER=/usr/lib/wine/wine64
    ;;
  *)
    echo "PICTARO_ARCH must be x86 or x64, not '$PICTARO_ARCH'" >&2
    return 1
    ;;
esac
if [[ "${CTEST_RESOURCE_GROUP_0_SEAT:-}" =~ ^id:([0-9]+) ]]; then
  export PICTARO_SEAT="${BASH_REMATCH[1]}"
fi
export PICTARO_SEAT="${PICTARO_SEAT:-0}"
if [ "$PICTARO_SEAT" = 0 ]; then
  export WINEPREFIX="$PICTARO_BUILD_DIR/wineprefix"
else
  export WINEPREFIX="$PICTARO_BUILD_DIR/wineprefix-seat$PICTARO_SEAT"
fi
if [ -n "${PICTARO_SEAT_DISPLAYS:-}" ]; then
  read -r -a pictaro_displays <<<"$PICTARO_SEAT_DISPLAYS"
  export DISPLAY="${pictaro_displays[$PICTARO_SEAT]}"
fi
export WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver32
# Quiet, unless a test asks for one of Wine's checkers (PICTARO_WINEDEBUG).
export WINEDEBUG="${PICTARO_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
