#!/usr/bin/env bash
# Builds the demo application (the release flavour, in build/) and runs it
# under Wine, with a Wine prefix and home of its own in build/.
#
#   ./run-demo.sh                      with DISPLAY set: on that display, until
#                                      its window is closed; without: as below
#   ./run-demo.sh --screenshot [path]  on an Xvfb display of its own: saves a
#                                      PNG of the window (by default
#                                      build/demo-screenshot.png) and quits
#
# Exits with the demo's status.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
build="$root/build"

screenshot=""
case "${1:-}" in
  --screenshot) screenshot=${2:-$build/demo-screenshot.png} ;;
  "") [ -n "${DISPLAY:-}" ] || screenshot="$build/demo-screenshot.png" ;;
  *)
    echo "usage: $0 [--screenshot [path]]" >&2
    exit 2
    ;;
esac

./scripts/setup-machine.sh

mkdir -p "$build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DRUNTIME_FLAVOUR=release >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log" >&2; exit 1; }
fi
cmake --build "$build" -j"$(nproc)" --target kvdemo >"$build/build.log" 2>&1 ||
  { cat "$build/build.log" >&2; exit 1; }

export WINEPREFIX="$build/wineprefix"
export HOME="$build/home"
export WINEDEBUG=-all
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree=;mshtml="
mkdir -p "$HOME"
export demo="$build/demo/kvdemo.exe"
export screenshot
[ -z "$screenshot" ] || screenshot=$(realpath -m "$screenshot")

status=0
if [ -n "$screenshot" ]; then
  xvfb-run -a scripts/demo-session.sh || status=$?
  [ $status -eq 0 ] && echo "Screenshot: $screenshot"
else
  scripts/demo-session.sh || status=$?
fi
exit $status
