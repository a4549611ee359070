#!/usr/bin/env bash
# Hands every crafted hostile file (tests/hostile/hostile_files.cpp, made at test time) to the
# command-line tool, one at a time, with 1 s and 256 MB to deal with it, the million-part chains and
# the 120,000 texture names crafted to collide included. A file that cleans is cleaned again, within
# the same limits, or four times its cleaned size and twice the time where that is more. Each must
# either fail cleanly (exit status 1, "Error reading file" in log.txt, its reason on standard error,
# the file untouched) or, where the format allows it, be cleaned (exit status 0, "File cleaned"),
# after which a second clean must change nothing. A crash, a hang, running out of memory or a file left behind
# is a failure.
#
#   scripts/hostile_test.sh [BUILD_FOLDER]      default build/native (configured if missing)
#
# HOSTILE_SECONDS and HOSTILE_MEMORY_KB change the limits. Last line: "N passed, M failed".
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$root/build/native}")
strict=("${HOSTILE_SECONDS:-1}" "${HOSTILE_MEMORY_KB:-262144}")

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset native -B "$build" >/dev/null || exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/scourvane-hostile.XXXXXX")
trap 'rm -rf "$work"' EXIT
if ! cmake --build "$build" -j2 --target scourvane-cli scourvane-make-hostile >/dev/null ||
    ! "$build/tests/hostile/scourvane-make-hostile" "$work/made"; then
    echo "hostile: cannot build the tool or make the files" >&2
    echo "0 passed, 1 failed"
    exit 1
fi
cli="$build/cli/scourvane-cli"

# run_tool SECONDS MEMORY_KB NAME: runs the tool on NAME inside $folder within the limits; sets
# status and report (elapsed seconds and peak memory).
run_tool() {
    local start=$EPOCHREALTIME
    (
        cd "$folder" && ulimit -v "$2" &&
            exec /usr/bin/time -f "%M" -o "$folder/.peak" timeout -k 1 "$1" "$cli" "$3"
    ) >"$folder/.out" 2>"$folder/.err"
    status=$?
    report="$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }') s,"
    report="$report peak $(tail -n 1 "$folder/.peak" 2>/dev/null) KB"
}

# What went wrong with the last run of NAME (KIND "read" or "cleaned", REASON the words the tool must
# print), or nothing when it did what the manifest says.
judge() {
    local name=$1 kind=$2 reason=$3 extra
    case $status in
    0 | 1) ;;
    124 | 137) echo "timed out"; return ;;
    *) echo "crashed (exit status $status): $(head -c 300 "$folder/.err")"; return ;;
    esac
    grep -q "out of memory" "$folder/.err" && { echo "ran out of memory"; return; }
    if [ "$kind" = read ]; then
        [ "$status" = 1 ] || { echo "exit status $status, expected 1"; return; }
        grep -qF "Error reading file: \"$name\"" "$folder/log.txt" || { echo "no \"Error reading file\""; return; }
        grep -qF -- "$reason" "$folder/.err" || { echo "reason not \"$reason\": $(cat "$folder/.err")"; return; }
        cmp -s "$work/made/$name" "$folder/$name" || { echo "the file was changed"; return; }
    else
        [ "$status" = 0 ] || { echo "exit status $status, expected 0: $(cat "$folder/.err")"; return; }
        grep -qF "File cleaned: \"$name\"" "$folder/log.txt" || { echo "no \"File cleaned\""; return; }
    fi
    extra=$(ls -A "$folder" | grep -vxF -e "$name" -e log.txt -e .out -e .err -e .peak -e .first)
    [ -z "$extra" ] || echo "left files behind: $extra"
}

# check NAME KIND REASON SECONDS MEMORY_KB: one file, and a cleaned one cleaned again; sets problem.
check() {
    folder="$work/run/$1"
    rm -rf "$folder"
    mkdir -p "$folder"
    cp --sparse=always "$work/made/$1" "$folder/$1"
    run_tool "$4" "$5" "$1"
    problem=$(judge "$1" "$2" "$3")
    if [ -z "$problem" ] && [ "$2" = cleaned ]; then
        cp "$folder/$1" "$folder/.first"
        # The second clean reads what the first wrote, which may be larger than the crafted file (a
        # million empty parts each gain a point: 52 MB become 104 MB). It gets the same limits or,
        # for an output over 64 MB, four times the output's size and twice the time.
        local seconds=$4 memory=$5 size_kb=$(( $(stat -c %s "$folder/$1") / 1024 ))
        if (( size_kb * 4 > memory )); then
            memory=$(( size_kb * 4 ))
            seconds=$(( seconds * 2 ))
        fi
        run_tool "$seconds" "$memory" "$1"
        problem=$(judge "$1" "$2" "$3")
        [ -n "$problem" ] || cmp -s "$folder/.first" "$folder/$1" || problem="the bytes changed"
        problem=${problem:+second clean: $problem}
    fi
    rm -rf "$folder"
}

passed=0
failed=0
while IFS=$'\t' read -r name kind reason about; do
    check "$name" "$kind" "$reason" "${strict[@]}"
    if [ -z "$problem" ]; then
        passed=$((passed + 1))
        echo "PASS $name ($about; $report)"
    else
        failed=$((failed + 1))
        echo "FAIL $name ($about): $problem ($report)"
    fi
done <"$work/made/manifest.tsv"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
