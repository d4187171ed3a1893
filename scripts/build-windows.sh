#!/bin/sh
# Cross-builds VornBoot32.exe for Windows with MinGW-w64 (win32 thread model,
# static): x86-64 into build-win64/ and i686 into build-win32/, at the top of
# the checkout. Installs the Debian packages it needs when they are missing
# (compilers, windres, and Wine and Python for tests/windows/run_wine_tests.sh).
#   scripts/build-windows.sh [Debug|Release]     (default Release)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build_type=${1:-Release}

packages="g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 wine wine64 cmake ninja-build nasm python3"
missing=
for p in $packages; do
  dpkg-query -W -f '${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  sudo_cmd=
  [ "$(id -u)" -eq 0 ] || sudo_cmd=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  # shellcheck disable=SC2086
  $sudo_cmd apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

jobs=${VORNBOOT_JOBS:-2}
for target in x86_64:build-win64 i686:build-win32; do
  arch=${target%%:*}
  dir=$root/${target#*:}
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "Built $dir/driver/VornBoot32.exe"
done
