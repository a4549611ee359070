#!/bin/sh
# On Linux: builds the Windows program (windows preset, MinGW-w64) and opens it under Wine.
#   scripts/run_gui.sh [--build-dir DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/windows"
if [ "${1:-}" = "--build-dir" ]; then
    build="$2"
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset windows -B "$build"
fi
cmake --build "$build" -j2 --target scourvane
export WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$build/app/scourvane.exe"
