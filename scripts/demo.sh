#!/bin/sh
# VornBoot demo: makes two disk images under out/demo/, installs
# examples/demo.conf on them with VornBoot32, prints the configuration read
# back, boots them in QEMU (SeaBIOS), types a password and saves screenshots.
#
#   scripts/demo.sh [path/to/VornBoot32]
#
# Needs python3, nasm, sfdisk and qemu-system-i386.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-}
given=$exe
# A path that is not there (build/VornBoot32 when the build puts it into
# build/driver/) falls back to looking under build/.
if [ -n "$exe" ] && [ ! -x "$exe" ]; then exe=; fi
if [ -z "$exe" ]; then
  for candidate in "$root/build/driver/VornBoot32" "$root/build/VornBoot32"; do
    if [ -x "$candidate" ]; then exe=$candidate; break; fi
  done
fi
if [ -z "$exe" ]; then
  exe=$(find "$root/build" -type f -name VornBoot32 -perm -u+x 2>/dev/null | head -n 1)
fi
if [ -z "$exe" ] || [ ! -x "$exe" ]; then
  [ -n "$given" ] && echo "$given: no such program" >&2
  echo "VornBoot32 not found: build it first (cmake -S . -B build && cmake --build build)" >&2
  echo "or give its path: $0 path/to/VornBoot32" >&2
  exit 1
fi
for tool in python3 nasm sfdisk qemu-system-i386; do
  command -v "$tool" >/dev/null 2>&1 || PATH=$PATH:/sbin:/usr/sbin
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing" >&2; exit 1; }
done
exec python3 "$root/scripts/demo/demo.py" "$exe" --out "$root/out/demo"
