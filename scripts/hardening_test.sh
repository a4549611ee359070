#!/usr/bin/env bash
# Everything that checks that a bad model or a failing disk never crashes the program, hangs it,
# eats the memory or costs the user a file:
#   1. the unit tests of injected faults and kept fuzz findings (natively);
#   2. real faults end to end through the command-line tool (scripts/fault_test.sh);
#   3. the crafted hostile files through the tool within 1 s and 256 MB (scripts/hostile_test.sh);
#   4. both fuzz targets for a bounded time (scripts/fuzz.sh).
#
#   scripts/hardening_test.sh [FUZZ_SECONDS_PER_TARGET]     default 25
#
# SCOURVANE_BUILD picks the native build folder (default build/native), SCOURVANE_WINDOWS_BUILD the
# Windows one used for the Wine cases (default build/windows), SCOURVANE_FUZZ_BUILD the clang one
# (default build/fuzz). Exit status non-zero on any failure; last line "N passed, M failed".
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
fuzz_seconds=${1:-25}
build=$(realpath -m "${SCOURVANE_BUILD:-$root/build/native}")
windows_build=$(realpath -m "${SCOURVANE_WINDOWS_BUILD:-$root/build/windows}")
logs="$build/hardening-logs"
mkdir -p "$logs"

passed=0
failed=0
failures=""

# Adds a stage's "N passed, M failed" (its last such line); a stage without one counts as one
# check, failed when its exit status is not 0.
stage() {
    local name=$1 line p f status
    shift
    echo "== $name"
    "$@" 2>&1 | tee "$logs/$name.log"
    status=${PIPESTATUS[0]}
    line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$logs/$name.log" | tail -n 1)
    if [ -n "$line" ]; then
        p=${line%% passed*}
        f=${line##*, }
        f=${f%% failed}
    else
        p=$([ "$status" = 0 ] && echo 1 || echo 0)
        f=$([ "$status" = 0 ] && echo 0 || echo 1)
    fi
    [ "$status" != 0 ] && [ "$f" = 0 ] && f=1
    passed=$((passed + p))
    failed=$((failed + f))
    [ "$f" = 0 ] || failures="$failures $name"
}

# The two unit-test programs, each test case counted; one that does not finish counts as failed.
unit_tests() {
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake --preset native -B "$build" >/dev/null || return 1
    fi
    cmake --build "$build" -j2 --target fault_tests fuzz_regression_tests >/dev/null || {
        echo "the build failed"
        return 1
    }
    local p=0 f=0 program out
    for program in faults/fault_tests fuzz/fuzz_regression_tests; do
        out=$("$build/tests/$program" 2>&1)
        echo "$out" | grep -E '^\[ +(OK|FAILED|SKIPPED) +\] [A-Za-z]' | sed 's/ (.*//'
        p=$((p + $(echo "$out" | grep -cE '^\[ +(OK|SKIPPED) +\] [A-Za-z]')))
        f=$((f + $(echo "$out" | grep -cE '^\[ +FAILED +\] [A-Za-z].*\(')))
        echo "$out" | grep -qE '^\[==========\] .* ran' || {
            echo "$program did not finish: $(echo "$out" | tail -n 5)"
            f=$((f + 1))
        }
    done
    echo "$p passed, $f failed"
    [ "$f" = 0 ]
}

stage unit unit_tests
stage faults scripts/fault_test.sh "$build" "$windows_build"
stage hostile scripts/hostile_test.sh "$build"
stage fuzz scripts/fuzz.sh "$fuzz_seconds"

echo
[ -z "$failures" ] || echo "Failed:$failures"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
