#!/usr/bin/env bash
# Builds VornBoot32 and the tests into build/ (Release with debug info),
# warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNBOOT_WERROR=ON >/dev/null
ninja -C build
