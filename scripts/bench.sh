#!/usr/bin/env bash
# Builds and runs the parse benchmark: generated inputs of 64 MiB of comment
# and blank lines, one 64 MiB comment line, and 100,000 / 200,000 entries.
# Prints speed and peak memory; it asserts nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNBOOT_WERROR=ON >/dev/null
ninja -C build parse_bench >/dev/null
build/config/parse_bench
