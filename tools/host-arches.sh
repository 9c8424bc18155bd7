#!/usr/bin/env bash
# Prints, one a line, the architectures (x86, x64) among those asked for
# ($1: all, x86 or x64; default all) whose builds this host can run under
# Wine, and on standard error why any other cannot. Fails when none can.
#
# The answer comes from running each Wine loader, never from the list of
# installed packages: with IA-32 emulation off in the kernel, the 32-bit
# loader is installed and still fails with "Exec format error".
wanted="${1:-all}"
case "$wanted" in all | x86 | x64) ;; *) echo "ARCH must be all, x86 or x64, not '$wanted'" >&2; exit 2 ;; esac
found=0
for arch in x86 x64; do
  [ "$wanted" = all ] || [ "$wanted" = "$arch" ] || continue
  case $arch in
    x86) loader=/usr/lib/wine/wine ;;
    x64) loader=/usr/lib/wine/wine64 ;;
  esac
  if [ ! -e "$loader" ]; then
    echo "$arch: skipped, $loader is not installed" >&2
  elif out="$("$loader" --version 2>&1)"; then
    echo $arch
    found=1
  else
    echo "$arch: skipped, this host cannot run $loader: ${out##*: }" >&2
  fi
done
[ $found = 1 ]
