#!/bin/sh
# Runs the tests of the Windows build under Wine: the string-table check, the
# disk layer over image files, the non-NT platform path and the command-line
# tests over disk images. Uses a fresh Wine prefix in a temporary folder, keeps
# one Wine session up for the whole run (a session booted for every program
# costs seconds per run) and stops it at the end. Installs nothing:
# scripts/build-windows.sh has built the executables and brought Wine.
#   tests/windows/run_wine_tests.sh [BUILD_DIR]     (default: build-win64)
# Exit status: non-zero when any test failed or could not run.
set -u

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-win64}
exe=$build/driver/VornBoot32.exe
if [ ! -f "$exe" ] || [ ! -f "$build/CTestTestfile.cmake" ]; then
  echo "run_wine_tests.sh: $exe is not built; run scripts/build-windows.sh first" >&2
  exit 2
fi
for tool in wine wineserver ctest python3 flock; do
  command -v "$tool" >/dev/null || { echo "run_wine_tests.sh: $tool is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vb-wine-XXXXXX")
export VORNBOOT_WINEPREFIX="$work/prefix"
export VORNBOOT_WINE_LINGER=120  # one session for the whole run; stopped at the end
export WINEPREFIX="$VORNBOOT_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
run="$root/cmake/wine-run.sh"

stop_wine() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
}
cleanup() {
  stop_wine
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
timed_run() {
  t=$(now)
  "$run" "$exe" -h >/dev/null 2>&1 || { echo "run_wine_tests.sh: $exe does not run" >&2; return 1; }
  seconds "$t" "$(now)"
}

# Start-up cost: a new prefix, a cold server, a warm one.
first=$(timed_run) || exit 1
stop_wine
cold=$(timed_run) || exit 1
warm1=$(timed_run) || exit 1
warm2=$(timed_run) || exit 1
echo "Wine start of VornBoot32.exe -h: new prefix ${first} s, cold server ${cold} s," \
  "warm server ${warm1} s / ${warm2} s"

ctest --test-dir "$build" -L windows --output-on-failure
status=$?
[ $status -eq 0 ] && echo "All Windows tests passed under Wine." || echo "Windows tests FAILED under Wine."
exit $status
