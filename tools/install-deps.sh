#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the viewer need, for
# both architectures. Does nothing when everything is already there.
#
# wine32:i386 is installed on every host: apt takes it whether or not the
# kernel can run 32-bit code, and tools/host-arches.sh finds out at run time
# which builds this host can run.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  cmake make googletest
  wine wine64 wine32:i386
  xvfb xauth x11-utils xdotool imagemagick python3-xlib
  libjpeg-turbo-progs fonts-noto-cjk fonts-dejavu-core python3-pil
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
