#!/usr/bin/env bash
# Fuzzes the whole pipeline (load, count, clean, write, reload, clean again) and ByteKeyTable with
# libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]      default 25, as the test command runs it
#
# First replays every input kept in tests/fuzz/regressions/<target>/, then fuzzes each target,
# starting from the project's sample models, the small crafted hostile files and a model of
# oddities. The working corpus stays in the build folder, so later runs start where earlier ones
# stopped. Any finding fails the run; its input is saved in <build>/findings/<target>/: once
# understood and fixed, copy it into tests/fuzz/regressions/<target>/ so the unit tests replay it.
#
# Needs clang++ 14 and libclang-rt-14-dev. SCOURVANE_FUZZ_BUILD picks the build folder
# (default build/fuzz). Last line: "N passed, M failed" (a target passes when it has no finding).
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-25}
build=${SCOURVANE_FUZZ_BUILD:-$root/build/fuzz}
case "$seconds" in '' | *[!0-9]*)
    echo "usage: scripts/fuzz.sh [SECONDS_PER_TARGET]" >&2
    exit 2
    ;;
esac
give_up() {
    echo "fuzz: $1" >&2
    echo "0 passed, 1 failed"
    exit 1
}

clang=$(command -v clang++ || command -v clang++-14) || give_up "clang++ is missing (apt-get install clang libclang-rt-14-dev)"
# Every target of the clang build carries the sanitizers; only the fuzz targets link libFuzzer's main.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
mkdir -p "$build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$clang" \
        -DCMAKE_CXX_FLAGS="$flags" -DSCOURVANE_FUZZ=ON >"$build/configure.log" 2>&1 ||
        give_up "cannot configure: see $build/configure.log"
fi
cmake --build "$build" -j2 --target fuzz_pipeline fuzz_byte_key_table scourvane-make-hostile \
    scourvane-make-samples >/dev/null || give_up "the build failed"

seeds="$build/seeds"
rm -rf "$seeds"
if ! "$build/tests/hostile/scourvane-make-hostile" --seeds "$seeds" ||
    ! "$build/tools/scourvane-make-samples" "$seeds" >/dev/null; then
    give_up "cannot write the seeds"
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

passed=0
failed=0
for name in pipeline byte_key_table; do
    target=fuzz_$name
    findings="$build/findings/$name"
    log="$build/$target.log"
    mkdir -p "$build/corpus/$name" "$findings"
    inputs=("$build/corpus/$name")
    [ "$name" = pipeline ] && inputs+=("$seeds" -dict="$root/tests/fuzz/pipeline.dict")
    [ -d "$root/tests/fuzz/regressions/$name" ] && inputs+=("$root/tests/fuzz/regressions/$name")

    # -timeout: one input that runs for seconds is a hang; -rss_limit_mb: one that eats memory.
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$findings/" "${inputs[@]}" >"$log" 2>&1
    status=$?
    runs=$(grep -E '^stat::number_of_executed_units' "$log" | tail -n 1 | awk '{ print $2 }')
    if [ "$status" = 0 ]; then
        passed=$((passed + 1))
        echo "$target: ${runs:-?} runs in ${seconds} s, no finding"
    else
        failed=$((failed + 1))
        echo "$target: FINDING (exit status $status) after ${runs:-?} runs; input in $findings/"
        grep -E 'ERROR|runtime error|property broken|SUMMARY|#[0-9]+ 0x' "$log" | head -n 30
        echo "(full output in $log)"
    fi
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
