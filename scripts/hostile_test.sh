#!/usr/bin/env bash
# Hands every crafted hostile file (tests/hostile/hostile_files.cpp, made at test time) to the
# command-line tool, one at a time, the million-part chains and the 120,000 texture names crafted to
# collide included. Each must either fail cleanly (exit status 1, "Error reading file" in log.txt, its
# reason on standard error, the file untouched) or, where the format allows it, be cleaned (exit
# status 0, "File cleaned"), after which a second clean must change nothing. A crash, a hang, running
# out of memory or a file left behind is a failure. The limits only catch a hang or a blow-up (the
# speed and memory these files take are measured by scripts/bench.sh).
#
#   scripts/hostile_test.sh [BUILD_FOLDER]      default build/native (configured if missing)
#
# HOSTILE_SECONDS (default 30) and HOSTILE_MEMORY_KB (default 1 GiB) change the limits.
source "$(dirname "$0")/lib.sh"
build=$(realpath -m "${1:-$root/build/native}")
seconds=${HOSTILE_SECONDS:-30}
memory_kb=${HOSTILE_MEMORY_KB:-1048576}
work_folder hostile
built "$build" native scourvane-cli scourvane-make-hostile &&
    "$build/tests/hostile/scourvane-make-hostile" "$work/made" || give_up "cannot build the tool or make the files"
cli="$build/cli/scourvane-cli"

# clean NAME KIND REASON: runs the tool on NAME inside $folder within the limits and needs what the
# manifest says (KIND "read": refused with REASON; "cleaned": cleaned); report gets the time and peak.
clean() {
    local name=$1 kind=$2 reason=$3 start=$EPOCHREALTIME
    run bash -c 'cd "$1" && ulimit -v "$2" && exec /usr/bin/time -f %M -o "$3" timeout -k 1 "${@:4}"' - \
        "$folder" "$memory_kb" "$work/peak" "$seconds" "$cli" "$name"
    report="$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }') s, peak $(tail -n 1 "$work/peak" 2>/dev/null) KB"
    need "timed out" [ "$status" != 124 -a "$status" != 137 ]
    need "crashed (exit status $status): $(head -c 300 "$work/err")" [ "$status" -le 1 ]
    need "ran out of memory" not grep -q "out of memory" "$work/err"
    if [ "$kind" = read ]; then
        need_exit 1
        need_said "Error reading file: \"$name\"" "$folder/log.txt"
        need_said "$reason"
        need "the file was changed" cmp -s "$work/made/$name" "$folder/$name"
    else
        need_exit 0
        need_said "File cleaned: \"$name\"" "$folder/log.txt"
    fi
    need_only "$folder" "$name" log.txt
}

while IFS=$'\t' read -r name kind reason about; do
    folder="$work/run"
    rm -rf "$folder" && mkdir -p "$folder"
    cp --sparse=always "$work/made/$name" "$folder/$name"
    clean "$name" "$kind" "$reason"
    if [ -z "$problem" ] && [ "$kind" = cleaned ]; then
        # The second clean reads what the first wrote, which may be larger than the crafted file (a
        # million empty parts each gain a point: 52 MB become 104 MB).
        cp "$folder/$name" "$work/first"
        clean "$name" "$kind" "$reason"
        need "the bytes changed" cmp -s "$work/first" "$folder/$name"
        problem=${problem:+second clean: $problem}
    fi
    verdict "$name ($about; $report)"
done <"$work/made/manifest.tsv"
rm -rf "$work/run"
finish
