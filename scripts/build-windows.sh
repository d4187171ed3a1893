#!/bin/sh
# Cross-builds VornBoot32.exe for Windows with MinGW-w64 (win32 thread model,
# static, warnings as errors): x86-64 into build-win64/ and i686 into
# build-win32/, at the top of the checkout. Installs the Debian packages it
# needs when they are missing (compilers, windres, and Wine and Python for
# tests/windows/run_wine_tests.sh).
#   scripts/build-windows.sh [Debug|Release]     (default Release)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build_type=${1:-Release}

"$root/scripts/install-deps.sh" windows

jobs=${VORNBOOT_JOBS:-2}
for target in x86_64:build-win64 i686:build-win32; do
  arch=${target%%:*}
  dir=$root/${target#*:}
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
    -DVORNBOOT_WERROR=ON -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "Built $dir/driver/VornBoot32.exe"
done
