#!/bin/sh
# Runs a Windows program under Wine, non-interactively:
#   wine-run.sh [--prefix DIR] PROGRAM [ARGS...]
# The Wine prefix is VORNBOOT_WINEPREFIX when set, otherwise DIR. It is created
# once (wineboot -i) under a lock, so parallel tests share one initialisation.
# The exit status is the program's (a POSIX parent sees its low byte).
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

# Wine writes the registry only when its server exits, several seconds after
# wineboot returns: the marker file, not the registry, says the prefix is ready.
if [ ! -e "$prefix/.vornboot-ready" ]; then
  mkdir -p "$prefix"
  (
    flock 9
    if [ ! -e "$prefix/.vornboot-ready" ]; then
      wineboot -i >/dev/null 2>&1 || { echo "wine-run.sh: wineboot -i failed" >&2; exit 125; }
      touch "$prefix/.vornboot-ready"
    fi
  ) 9>"$prefix.lock"
fi

exec wine "$@"
