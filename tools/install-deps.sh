#!/usr/bin/env bash
# Installs the Debian packages of tools/requirements.txt: everything the
# build, the tests, the benchmarks and the viewer need, for both
# architectures. Does nothing when everything is already there.
#
# wine32:i386 is installed on every host: apt takes it whether or not the
# kernel can run 32-bit code, and tools/host-arches.sh finds out at run time
# which builds this host can run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

mapfile -t packages < <(grep -v '^\s*\(#\|$\)' requirements.txt | awk '{ print $3 }' | sort -u)

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
