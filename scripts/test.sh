#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#  1. the Linux build: unit, emulator, command-line and QEMU system tests;
#  2. a second build with AddressSanitizer and UndefinedBehaviorSanitizer:
#     unit and command-line tests;
#  3. the Windows executables (MinGW-w64), the x86-64 one tested under Wine.
# Ends with one line counting the tests of all stages.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

start=$SECONDS
log=$(mktemp)
trap 'rm -f "$log"' EXIT

scripts/build.sh
ctest --test-dir build --output-on-failure -j2 | tee -a "$log"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORNBOOT_SANITIZE=ON >/dev/null
ninja -C build-asan
ctest --test-dir build-asan -L 'unit|cli' --output-on-failure -j2 | tee -a "$log"

scripts/build-windows.sh
tests/windows/run_wine_tests.sh | tee -a "$log"

total=0
for n in $(sed -n 's/.*tests passed, [0-9]* tests failed out of \([0-9]*\)$/\1/p' "$log"); do
  total=$((total + n))
done
echo "All test stages passed in $((SECONDS - start)) s"
echo "tests: $total passed, 0 failed"
