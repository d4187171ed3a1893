#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing for a job; quiet and quick
# when everything is there already.
#   scripts/install-deps.sh build    compiler, CMake, NASM, GoogleTest, Unicorn
#   scripts/install-deps.sh demo     build + QEMU and the disk tools
#   scripts/install-deps.sh windows  MinGW-w64, Wine and what the Windows tests run with
#   scripts/install-deps.sh package  build + windows + the Debian package tools and unzip
#   scripts/install-deps.sh test     all of these + SYSLINUX and Bochs (system tests), Clang,
#                                    groff and mandoc
set -euo pipefail

build=(cmake ninja-build g++ make libgtest-dev nasm libunicorn-dev pkg-config python3)
demo=(qemu-system-x86 fdisk dosfstools mtools)
windows=(cmake ninja-build nasm python3 g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 wine wine64)
package=(dpkg-dev file unzip)
system=(syslinux syslinux-common bochs bochs-term bochsbios vgabios)
checks=(clang groff-base mandoc)

case "${1:-test}" in
  build) wanted=("${build[@]}") ;;
  demo) wanted=("${build[@]}" "${demo[@]}") ;;
  windows) wanted=("${windows[@]}") ;;
  package) wanted=("${build[@]}" "${windows[@]}" "${package[@]}") ;;
  test) wanted=("${build[@]}" "${demo[@]}" "${system[@]}" "${windows[@]}" "${package[@]}"
                "${checks[@]}") ;;
  *) echo "usage: $0 build|demo|windows|package|test" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
