#!/usr/bin/env bash
# Builds the release archives of this tree into dist/ (or the folder given):
# Pictaro-<version>-win32.zip and -win64.zip, each holding the exe built
# afresh without the tests, README.txt and LICENSE.txt, and SHA256SUMS.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(mkdir -p "${1:-$root/dist}" && cd "${1:-$root/dist}" && pwd)"
version="$(tr -d '[:space:]' <"$root/VERSION")"
archives=()
for arch in x86 x64; do
  case $arch in
    x86) toolchain=mingw-i686 bits=32 ;;
    x64) toolchain=mingw-x86_64 bits=64 ;;
  esac
  build="$out/.build-$arch"
  rm -rf "$build"
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DPICTARO_TESTS=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target Pictaro >/dev/null
  name="Pictaro-$version-win$bits"
  /usr/bin/python3 - "$out/$name.zip" "$name" "$build/Pictaro.exe" "$root" "$version" "$arch" "$bits" <<'PY'
import sys
import zipfile

archive, name, exe, root, version, arch, bits = sys.argv[1:]


def text(path):
    """A text file with Windows line ends, its placeholders filled in."""
    with open(path, encoding="utf-8") as source:
        body = source.read().replace("@VERSION@", version).replace("@ARCH@", arch).replace("@BITS@", bits)
    return body.replace("\n", "\r\n").encode("utf-8")


def add(zf, member, data):
    info = zipfile.ZipInfo(f"{name}/{member}", date_time=(2026, 1, 1, 0, 0, 0))
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = 0o644 << 16
    zf.writestr(info, data)


with zipfile.ZipFile(archive, "w") as zf:
    with open(exe, "rb") as f:
        add(zf, "Pictaro.exe", f.read())
    add(zf, "README.txt", text(f"{root}/docs/README-user.txt"))
    add(zf, "LICENSE.txt", text(f"{root}/LICENSE"))
PY
  rm -rf "$build"
  archives+=("$name.zip")
  echo "$out/$name.zip"
done
(cd "$out" && sha256sum "${archives[@]}" >SHA256SUMS)
echo "$out/SHA256SUMS"
