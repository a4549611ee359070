#!/bin/bash
# Runs every test: the unit tests natively, under the sanitizers and as Windows programs under Wine,
# then the end-to-end suites that exist (the Windows program under Wine, fuzzing, faults and hostile
# files, the release artefacts). Installs what is missing first. Exit status 0 only when everything passed.
#   scripts/test.sh            everything
#   scripts/test.sh native     only the native unit tests (quick)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
only="${1:-all}"

scripts/bootstrap.sh test || exit 1

export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"

passed=0
failed=0
failures=""

# Adds the counts of a finished stage: ctest's "X tests failed out of N" or a plain "N passed, M failed".
count() {
    local stage=$1 log=$2 status=$3 total bad
    if line=$(grep -E "tests failed out of [0-9]+" "$log" | tail -n 1) && [ -n "$line" ]; then
        total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
        bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
    elif line=$(grep -E "^[A-Za-z]*:? ?[0-9]+ passed, [0-9]+ failed" "$log" | tail -n 1) && [ -n "$line" ]; then
        local p
        p=$(sed -E 's/^[^0-9]*([0-9]+) passed.*/\1/' <<<"$line")
        bad=$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$line")
        total=$((p + bad))
    else
        total=1
        bad=$([ "$status" = 0 ] && echo 0 || echo 1)
    fi
    if [ "$status" != 0 ] && [ "$bad" = 0 ]; then bad=1; total=$((total > 0 ? total : 1)); fi
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    [ "$bad" = 0 ] || failures="$failures $stage"
    echo "== $stage: $((total - bad)) passed, $bad failed"
}

stage() {
    local name=$1
    shift
    local log="build/logs/$name.log"
    mkdir -p build/logs
    echo "== $name"
    "$@" 2>&1 | tee "$log"
    count "$name" "$log" "${PIPESTATUS[0]}"
}

unit() {
    local preset=$1
    cmake --preset "$preset" -DSCOURVANE_WERROR=ON >/dev/null &&
        cmake --build "build/$preset" -j2 &&
        ctest --test-dir "build/$preset" --output-on-failure -j2 --timeout 600
}

wine_unit() {
    # A fresh prefix is made once; later runs reuse it. The window tests of the Windows program
    # need a display, so the Windows tests run on a virtual one.
    [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
    # A test program that Wine fails to start (seen once: silent, in 0.01 s, and never again in
    # reruns) gets one more start; a test that fails fails both times.
    cmake --preset windows -DSCOURVANE_WERROR=ON >/dev/null &&
        cmake --build build/windows -j2 &&
        xvfb-run -a -s "-screen 0 1024x768x24" ctest --test-dir build/windows --output-on-failure --timeout 600 \
            --repeat until-pass:2
}

stage native unit native
if [ "$only" != native ]; then
    stage sanitize unit sanitize
    stage windows wine_unit
    [ -x scripts/gui_test.sh ] && stage gui scripts/gui_test.sh
    [ -x scripts/hardening_test.sh ] && stage hardening scripts/hardening_test.sh
    [ -x scripts/release_test.sh ] && stage release scripts/release_test.sh
fi

echo
[ -z "$failures" ] || echo "Failed stages:$failures"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
