#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#  1. the Linux build: unit, emulator, command-line, manual page and QEMU
#     system tests;
#  2. a second build with AddressSanitizer and UndefinedBehaviorSanitizer:
#     unit and command-line tests;
#  3. a Release build with Clang (another compiler's warnings, -O3): unit tests;
#  4. the Windows executables (MinGW-w64), the x86-64 one tested under Wine;
#  5. the packages (scripts/package.sh): the .deb installed into a throwaway
#     root and run from there, the Windows zips listed and checked.
# Every build treats warnings as errors. Ends with one line counting the tests
# of all stages.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

start=$SECONDS
log=$(mktemp)
trap 'rm -f "$log"' EXIT
stages=""
stage_start=$SECONDS
stage_done() {  # stage_done NAME: notes the seconds since the last stage ended
  stages="$stages $1 $((SECONDS - stage_start)) s,"
  stage_start=$SECONDS
}

scripts/build.sh
ctest --test-dir build --output-on-failure -j2 | tee -a "$log"
stage_done linux

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORNBOOT_SANITIZE=ON \
  -DVORNBOOT_WERROR=ON >/dev/null
ninja -C build-asan
ctest --test-dir build-asan -L 'unit|cli' --output-on-failure -j2 | tee -a "$log"
stage_done sanitizers

cmake -S . -B build-clang -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DVORNBOOT_WERROR=ON >/dev/null
ninja -C build-clang
ctest --test-dir build-clang -L unit --output-on-failure -j2 | tee -a "$log"
stage_done clang

scripts/build-windows.sh
tests/windows/run_wine_tests.sh | tee -a "$log"
stage_done windows

scripts/package.sh | tee -a "$log"
stage_done packages

total=0
for n in $(sed -n -e 's/.*tests passed, [0-9]* tests failed out of \([0-9]*\)$/\1/p' \
  -e 's/^package checks: \([0-9]*\) passed, 0 failed$/\1/p' "$log"); do
  total=$((total + n))
done
echo "All test stages passed in $((SECONDS - start)) s:${stages%,}"
echo "tests: $total passed, 0 failed"
