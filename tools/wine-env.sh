# Sourced by every script that runs Wine. PICTARO_ARCH (x86 or x64, default
# x86) picks the build and its own Wine prefix inside the build folder: 32-bit
# for x86, like the target, and 64-bit for x64. The loader is named outright:
# Debian's `wine` takes the 32-bit loader whenever its file exists, even on a
# kernel that cannot run 32-bit code. Quiet, and never asking to download Mono
# or Gecko.
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
export WINEPREFIX="$PICTARO_BUILD_DIR/wineprefix"
export WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
