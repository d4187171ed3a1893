#!/usr/bin/env bash
# Builds and runs the benchmarks; they print figures and assert nothing:
#  - the parse benchmark: generated inputs of 64 MiB of comment and blank
#    lines, one 64 MiB comment line, and 100,000 / 200,000 entries (speed and
#    peak memory);
#  - VornBootCheck: 8 entries checked on 4 disk images (median of runs).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNBOOT_WERROR=ON >/dev/null
ninja -C build parse_bench VornBootCheck >/dev/null
build/config/parse_bench
python3 scripts/check_bench.py build/check/VornBootCheck
