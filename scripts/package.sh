#!/usr/bin/env bash
# Makes the packages and checks them:
#  - vornboot_VERSION_amd64.deb, from a Release build of the programs alone
#    (build-package/, as a packager builds): its control data, its Depends
#    against the libraries the executables name, its files, and the usage
#    texts of the programs installed into a throwaway root (dpkg -x);
#  - vornboot-VERSION-win64.zip and -win32.zip, from the MinGW builds
#    (build-win64/, build-win32/, brought up to date by
#    scripts/build-windows.sh): the members, README.txt and the examples as
#    CR LF text with the text of the checkout, and the executables as built.
# The packages land in build-package/packages/, build-win64/packages/ and
# build-win32/packages/. Ends with a line counting the checks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package

jobs=${VORNBOOT_JOBS:-2}
work=$(mktemp -d "${TMPDIR:-/tmp}/vb-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

passed=0
check() {  # check DESCRIPTION COMMAND...: runs COMMAND, fails the script if it fails
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "package check FAILED: $what" >&2
    exit 1
  fi
}
version_of() {  # the version that CMake gave CPack in build folder $1
  sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$1/CPackConfig.cmake"
}
same_text() {  # same_text CRLF_FILE LF_FILE: CR LF at every line end, else the same text
  python3 - "$1" "$2" <<'EOF'
import sys
crlf, lf = (open(p, "rb").read() for p in sys.argv[1:])
sys.exit(0 if crlf.count(b"\n") == crlf.count(b"\r\n") and
         crlf.replace(b"\r\n", b"\n") == lf else 1)
EOF
}

# --- The Debian package
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DVORNBOOT_WERROR=ON >/dev/null
ninja -C build-package -j "$jobs"
version=$(version_of build-package)
rm -rf build-package/packages
cpack --config build-package/CPackConfig.cmake -B build-package/packages >/dev/null
deb=build-package/packages/vornboot_${version}_amd64.deb
check "$deb is made" test -f "$deb"
echo "== $deb ($(stat -c %s "$deb") bytes)"
dpkg-deb -f "$deb" Package Version Architecture Depends
dpkg-deb -c "$deb" | awk '{ print $6 }' >"$work/deb-files"
cat "$work/deb-files"

check "control: package, version, architecture" \
  test "$(dpkg-deb -f "$deb" Package Version Architecture)" \
  = "$(printf 'Package: vornboot\nVersion: %s\nArchitecture: amd64' "$version")"
expected="./usr/bin/VornBoot32 ./usr/share/man/man8/VornBoot32.8 ./usr/share/doc/vornboot/README.md
  ./usr/share/doc/vornboot/examples/annotated.conf ./usr/share/doc/vornboot/examples/demo.conf"
# VornBootCheck is built where Unicorn is installed (always, after install-deps.sh).
check_built=no
[ -f build-package/check/VornBootCheck ] && check_built=yes
[ $check_built = yes ] &&
  expected="$expected ./usr/bin/VornBootCheck ./usr/share/man/man8/VornBootCheck.8"
for f in $expected; do
  check "the .deb holds $f" grep -qxF "$f" "$work/deb-files"
done

root=$work/root
dpkg -x "$deb" "$root"
# Every shared library that an installed executable names (NEEDED) belongs
# to a package that Depends names.
depends=$(dpkg-deb -f "$deb" Depends)
check "Depends is not empty" test -n "$depends"
for exe in "$root"/usr/bin/*; do
  for name in $(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
    lib=$(ldd "$exe" | awk -v n="$name" '$1 == n && $2 == "=>" { print $3 }')
    owner=$(dpkg -S "$lib" 2>/dev/null || dpkg -S "$(realpath "$lib")" 2>/dev/null ||
      dpkg -S "/usr$lib" 2>/dev/null) || owner=
    owner=${owner%%:*}
    check "the package of $lib (${owner:-none}) is in Depends" \
      grep -qxF "${owner:-none}" <(tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }')
  done
done
usage=$("$root/usr/bin/VornBoot32" -h) || { echo "VornBoot32 -h failed" >&2; exit 1; }
check "the installed VornBoot32 -h prints the banner with the version and the usage" \
  grep -qF "$(printf 'VornBoot32 %s: ' "$version")" <<<"$usage"
check "... and the usage" grep -qF "Usage:" <<<"$usage"
if [ $check_built = yes ]; then
  usage=$("$root/usr/bin/VornBootCheck" -h) || { echo "VornBootCheck -h failed" >&2; exit 1; }
  check "the installed VornBootCheck -h prints its usage" grep -qF "Usage:" <<<"$usage"
fi

# --- The Windows zips
scripts/build-windows.sh  # (up to date already when test.sh has just run it)
for arch in win64 win32; do
  build=build-$arch
  rm -rf "$build/packages"
  cpack --config "$build/CPackConfig.cmake" -B "$build/packages" >/dev/null
  zip=$build/packages/vornboot-${version}-$arch.zip
  check "$zip is made" test -f "$zip"
  echo "== $zip ($(stat -c %s "$zip") bytes)"
  unzip -l "$zip"
  top=vornboot-${version}-$arch
  unzip -q "$zip" -d "$work/$arch"
  for f in VornBoot32.exe README.txt examples/annotated.conf examples/demo.conf; do
    check "$zip holds $top/$f" test -f "$work/$arch/$top/$f"
  done
  check "$arch: README.txt is README.md as CR LF text" same_text "$work/$arch/$top/README.txt" README.md
  for f in examples/*.conf; do
    check "$arch: $f is CR LF text" same_text "$work/$arch/$top/$f" "$f"
  done
  check "$arch: VornBoot32.exe is the executable that was built (and tested)" \
    cmp -s "$work/$arch/$top/VornBoot32.exe" "$build/driver/VornBoot32.exe"
done

echo "package checks: $passed passed, 0 failed"
