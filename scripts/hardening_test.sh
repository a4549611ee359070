#!/usr/bin/env bash
# Everything end to end that checks that a bad model or a failing disk never crashes the program,
# hangs it, eats the memory or costs the user a file: real faults through the command-line tool
# (scripts/fault_test.sh), the crafted hostile files (scripts/hostile_test.sh) and both fuzz targets
# for a bounded time (scripts/fuzz.sh). The unit tests of injected faults and kept fuzz findings run
# with the other unit tests, natively and under the sanitizers.
#
#   scripts/hardening_test.sh [FUZZ_SECONDS_PER_TARGET]     default 25
#
# SCOURVANE_BUILD picks the native build folder (default build/native), SCOURVANE_WINDOWS_BUILD the
# Windows one used for the Wine cases (default build/windows), SCOURVANE_FUZZ_BUILD the clang one
# (default build/fuzz). Last line "N passed, M failed".
source "$(dirname "$0")/lib.sh"
build=${SCOURVANE_BUILD:-$root/build/native}

stage faults "$root/scripts/fault_test.sh" "$build" "${SCOURVANE_WINDOWS_BUILD:-$root/build/windows}"
stage hostile "$root/scripts/hostile_test.sh" "$build"
stage fuzz "$root/scripts/fuzz.sh" "${1:-25}"
echo
finish
