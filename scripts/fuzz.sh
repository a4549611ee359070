#!/usr/bin/env bash
# Fuzzes the whole pipeline (load, count, clean, write, reload, clean again), ByteKeyTable, the zip
# and TA archive readers and rewriters, and the GAF reader with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer, each target starting from the sample models (zipped for the zip
# target), the small crafted hostile files, a model of oddities, a dictionary of the formats'
# signatures and the inputs kept in tests/fuzz/regressions/<target>/ (which the unit tests replay). The working corpus stays in the
# build folder, so later runs start where earlier ones stopped. A finding fails its target; its input
# is saved in <build>/findings/<target>/: once understood and fixed, copy it into the regressions.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]      default 25, as the test command runs it
#
# Needs clang++ 14 and libclang-rt-14-dev. SCOURVANE_FUZZ_BUILD picks the build folder (default build/fuzz).
source "$(dirname "$0")/lib.sh"
seconds=${1:-25}
build=${SCOURVANE_FUZZ_BUILD:-$root/build/fuzz}
[[ $seconds =~ ^[0-9]+$ ]] || give_up "usage: scripts/fuzz.sh [SECONDS_PER_TARGET]"
clang=$(command -v clang++ || command -v clang++-14) || give_up "clang++ is missing (apt-get install clang libclang-rt-14-dev)"
# Every target of the clang build carries the sanitizers; only the fuzz targets link libFuzzer's main.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
if [ ! -f "$build/CMakeCache.txt" ]; then
    mkdir -p "$build"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$clang" \
        -DCMAKE_CXX_FLAGS="$flags" -DSCOURVANE_FUZZ=ON >"$build/configure.log" 2>&1 ||
        give_up "cannot configure: see $build/configure.log"
fi
seeds="$build/seeds"
rm -rf "$seeds" "$seeds-zip"
targets="pipeline byte_key_table zip_archive hpi_archive gaf_names"
built "$build" "" $(printf 'fuzz_%s ' $targets) scourvane-make-hostile scourvane-make-samples &&
    "$build/tests/hostile/scourvane-make-hostile" --seeds "$seeds" &&
    "$build/tools/scourvane-make-samples" "$seeds" >/dev/null &&
    python3 -c 'import sys, zipfile, pathlib
pathlib.Path(sys.argv[2]).mkdir()
with zipfile.ZipFile(sys.argv[2] + "/mod.sdz", "w", zipfile.ZIP_DEFLATED) as z:
    for p in sorted(pathlib.Path(sys.argv[1]).glob("*.3do"))[:3]: z.write(p, "objects3d/" + p.name)' "$seeds" "$seeds-zip" ||
    give_up "cannot build the targets or write the seeds"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
for name in $targets; do
    target=fuzz_$name findings="$build/findings/$name" log="$build/fuzz_$name.log"
    program=$(find "$build/tests" -name "$target" -type f | head -n 1)
    mkdir -p "$build/corpus/$name" "$findings"
    inputs=("$build/corpus/$name")
    case $name in
    pipeline) inputs+=("$seeds" -dict="$root/tests/fuzz/pipeline.dict") ;;
    zip_archive) inputs+=("$seeds-zip" -dict="$root/tests/fuzz/archive.dict") ;;
    hpi_archive | gaf_names) inputs+=(-dict="$root/tests/fuzz/archive.dict") ;;
    esac
    [ -d "$root/tests/fuzz/regressions/$name" ] && inputs+=("$root/tests/fuzz/regressions/$name")
    # -timeout: one input that runs for 30 s is a hang; -rss_limit_mb: one that eats memory.
    "$program" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$findings/" "${inputs[@]}" >"$log" 2>&1
    status=$?
    runs=$(awk '/^stat::number_of_executed_units/ { n = $2 } END { print n }' "$log")
    if [ "$status" != 0 ]; then
        grep -E 'ERROR|runtime error|property broken|SUMMARY|#[0-9]+ 0x' "$log" | head -n 30
        echo "(full output in $log)"
    fi
    verdict "$target: ${runs:-?} runs in $seconds s" \
        "$([ "$status" = 0 ] || echo "FINDING (exit status $status); input in $findings/")"
done
finish
