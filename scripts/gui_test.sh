#!/bin/bash
# End-to-end tests of scourvane.exe under Wine (Xvfb, a fresh Wine prefix, xdotool), driven by
# scripts/gui_test.py, with screenshots in build/gui-screenshots/. Builds what it needs in the
# windows preset first.
#
#   scripts/gui_test.sh [--build-dir DIR] [--update-docs-screenshot] [--keep] [--only TEXT,...]
source "$(dirname "$0")/lib.sh"
# The preset's own build folder, so a test run right after the Windows unit tests rebuilds nothing.
build="$root/build/windows"
options=()
keep="" docs=""
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build=$(realpath -m "$2") && shift ;;
    --update-docs-screenshot) docs=1 ;;
    --keep) keep=1 ;;
    --only) options+=(--only "$2") && shift ;;
    *) give_up "unknown option $1" ;;
    esac
    shift
done
for tool in wine wineboot wineserver Xvfb xdotool import python3; do
    command -v "$tool" >/dev/null || give_up "missing $tool (scripts/bootstrap.sh test)"
done
work_folder gui
[ -z "$keep" ] || trap 'echo "kept $work"' EXIT
export WINEPREFIX="$work/prefix"
wine_prefix || give_up "cannot make a Wine prefix"
built "$build" windows scourvane gui_probe scourvane-make-samples || give_up "the build failed"

mkdir -p "$work/models"
shots="$root/build/gui-screenshots"
rm -f "$shots"/failed-*.png
while IFS= read -r line; do
    case $line in
    "PASS "*) verdict "${line#PASS }" "" ;;
    "FAIL "*) line=${line#FAIL } && verdict "${line%%: *}" "${line#*: }" ;;
    *) echo "$line" ;;
    esac
done < <(python3 "$root/scripts/gui_test.py" --build-dir "$build" --work "$work/models" \
    --screenshots "$shots" "${options[@]}")
wait $!
status=$?
[ "$status" = 0 ] || [ "$failed" != 0 ] || verdict "scripts/gui_test.py" "exit status $status"
[ -z "$docs" ] || [ "$failed" != 0 ] || cp "$shots/01-main-window.png" "$root/docs/screenshot.png"
finish
