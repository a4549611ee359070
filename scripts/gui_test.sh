#!/bin/sh
# End-to-end tests of scourvane.exe under Wine (Xvfb, a fresh Wine prefix, xdotool), with screenshots
# in build/gui-screenshots/. Builds what it needs in the windows preset first.
#
#   scripts/gui_test.sh [--build-dir DIR] [--update-docs-screenshot] [--keep]
#
# Exit status 0 when every test passed; the last line reads "N passed, M failed".
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
# The preset's own build folder, so a test run right after the Windows unit tests rebuilds nothing.
build="$root/build/windows"
extra=""
fail() { echo "$1"; echo "0 passed, 1 failed"; exit "${2:-1}"; }
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build="$2"; shift 2 ;;
    --update-docs-screenshot) extra="$extra --docs-screenshot $root/docs/screenshot.png"; shift ;;
    --keep) extra="$extra --keep"; shift ;;
    *) fail "unknown option $1" 2 ;;
    esac
done

for tool in wine wineboot wineserver Xvfb xdotool import python3 cc; do
    command -v "$tool" >/dev/null 2>&1 ||
        fail "missing $tool (apt-get install wine64 xvfb xdotool imagemagick python3)"
done

mkdir -p "$root/build"
log="$root/build/gui-test-configure.log"
if [ ! -f "$build/CMakeCache.txt" ] && ! cmake --preset windows -B "$build" >"$log" 2>&1; then
    fail "$(cat "$log")"
fi
cmake --build "$build" -j2 --target scourvane gui_probe scourvane-make-samples || fail "build failed"
# The XDND drop client is a native X program (libx11-dev).
cc -std=c11 -O2 -o "$build/xdnd_drop" "$root/tests/app/xdnd_drop.c" -lX11 || fail "cannot build the XDND client"

# shellcheck disable=SC2086 # $extra is a list of options
exec python3 "$root/scripts/gui_test.py" --build-dir "$build" --screenshots "$root/build/gui-screenshots" $extra
