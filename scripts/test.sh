#!/bin/bash
# Runs every test: the unit tests natively, under the sanitizers and as Windows programs under Wine,
# then the end-to-end suites (the Windows program under Wine; faults, hostile files and fuzzing; the
# release artefacts). Installs what is missing first. Exit status 0 only when everything passed.
#   scripts/test.sh            everything
#   scripts/test.sh native     only the native unit tests (quick)
source "$(dirname "$0")/lib.sh"
cd "$root" || exit 1
scripts/bootstrap.sh test || exit 1

# unit PRESET [RUNNER...]: builds the preset with warnings as errors and runs its unit tests.
unit() {
    cmake --preset "$1" -DSCOURVANE_WERROR=ON >/dev/null && cmake --build "build/$1" -j2 &&
        "${@:2}" ctest --test-dir "build/$1" --output-on-failure --timeout 600 "${ctest_options[@]}"
}

ctest_options=(-j2)
stage native unit native
if [ "${1:-all}" != native ]; then
    stage sanitize unit sanitize
    # The window tests need a display. A test program that Wine fails to start (seen once: silent, in
    # 0.01 s, and never again in reruns) gets one more start; a test that fails fails both times.
    ctest_options=(--repeat until-pass:2)
    wine_prefix
    stage windows unit windows xvfb-run -a -s "-screen 0 1024x768x24"
    stage gui scripts/gui_test.sh
    stage hardening scripts/hardening_test.sh
    stage release scripts/release_test.sh
fi
echo
finish
