#!/bin/sh
# Runs a Windows program under Wine, non-interactively:
#   wine-run.sh [--prefix DIR] PROGRAM [ARGS...]
# The Wine prefix is VORNBOOT_WINEPREFIX when set, otherwise DIR. It is created
# once (wineboot -i) under a lock, so parallel tests share one initialisation.
# The exit status is the program's (a POSIX parent sees its low byte). The Wine
# server stays VORNBOOT_WINE_LINGER seconds (default 15) after the last program
# ends; `WINEPREFIX=DIR wineserver -k` stops it at once.
set -eu

prefix=
if [ "${1-}" = --prefix ]; then
  prefix=$2
  shift 2
fi
prefix=${VORNBOOT_WINEPREFIX:-$prefix}
if [ -z "$prefix" ] || [ $# -eq 0 ]; then
  echo "usage: wine-run.sh [--prefix DIR] PROGRAM [ARGS...]" >&2
  exit 125
fi
case $prefix in
  /*) ;;
  *) prefix=$(pwd)/$prefix ;;
esac

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# A new Wine server first boots a session: device and service processes that
# take seconds to start and inherit the standard streams of the program that
# started them, so a caller reading the program's output through pipes would
# wait until the session ends. Start the server and its session here, on
# /dev/null and under the lock; the program then joins the running session.
mkdir -p "$prefix"
(
  flock 9
  # Wine writes the registry only when its server exits: the marker, not the
  # registry, says the prefix is ready.
  if [ ! -e "$prefix/.vornboot-ready" ]; then
    wineboot -i </dev/null >/dev/null 2>&1 9>&- || { echo "wine-run.sh: wineboot -i failed" >&2; exit 125; }
    wineserver -w
    touch "$prefix/.vornboot-ready"
  fi
  # (9>&-: what lives on must not hold the lock.)
  if wineserver -p"${VORNBOOT_WINE_LINGER:-15}" </dev/null >/dev/null 2>&1 9>&-; then
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$prefix.lock"

exec wine "$@"
