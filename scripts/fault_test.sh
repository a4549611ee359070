#!/usr/bin/env bash
# Real faults, end to end through the command-line tool: a read-only model, a folder the user cannot
# write, a full disk (a file size limit, a tmpfs with no room left) and a FIFO named like a model. Each must give its error line in the log, lose
# nothing (the model stays byte for byte as it was) and leave no temporary file behind. Faults at
# every single file operation are injected by tests/faults; a model held open by another Windows
# program is tested there too, under Wine. Cases the machine cannot set up are skipped with the reason.
#
#   scripts/fault_test.sh [BUILD_FOLDER]      default build/native (configured if missing)
#
# Last line: "N passed, M failed".
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$root/build/native}")

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset native -B "$build" >/dev/null || exit 1
fi
if ! cmake --build "$build" -j2 --target scourvane-cli scourvane-make-samples >/dev/null; then
    echo "faults: the build failed" >&2
    echo "0 passed, 1 failed"
    exit 1
fi
cli="$build/cli/scourvane-cli"

work=$(mktemp -d "${TMPDIR:-/tmp}/scourvane-faults.XXXXXX")
chmod 755 "$work"
mounts=()
cleanup() {
    for mount in "${mounts[@]}"; do umount "$mount" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

# The model: the largest sample, which cleaning shrinks, and large enough that a 1 KB limit stops its
# save. Real faults do not depend on the model's content.
"$build/tools/scourvane-make-samples" "$work/samples" >/dev/null || exit 1
model=$(ls -S "$work/samples"/*.3do | head -n 1)

passed=0
failed=0
skip() { echo "SKIP $1: $2"; }

# fresh NAME: a new folder holding a copy of the model as m.3do.
fresh() {
    folder="$work/$1"
    mkdir -p "$folder"
    cp "$model" "$folder/m.3do"
}

# attempt CASE LINE [COMMAND...]: runs the tool on $folder/m.3do (after COMMAND, such as a user
# switch) and checks for an exit status of 1, LINE in the log, the model as it was and nothing else.
attempt() {
    local name=$1 line=$2 log="$work/$1.log" status extra problem=""
    shift 2
    "$@" "$cli" --log "$log" "$folder/m.3do" >/dev/null 2>&1
    status=$?
    extra=$(ls -A "$folder" | grep -vxF m.3do)
    if [ "$status" != 1 ]; then
        problem="exit status $status, expected 1"
    elif ! grep -qF "$line: \"$folder/m.3do\"" "$log"; then
        problem="no \"$line\" in the log: $(tr -d '\r' <"$log" 2>/dev/null)"
    elif [ -f "$folder/m.3do" ] && ! cmp -s "$model" "$folder/m.3do"; then
        problem="the model was changed"
    elif [ -n "$extra" ]; then
        problem="left behind: $extra"
    fi
    if [ -z "$problem" ]; then
        passed=$((passed + 1))
        echo "PASS $name"
    else
        failed=$((failed + 1))
        echo "FAIL $name: $problem"
    fi
}

fresh read-only-model
chmod 444 "$folder/m.3do"
attempt "read-only model" "Error writing file"

fresh not-my-folder
chmod 666 "$folder/m.3do"
nobody=$(id -u nobody 2>/dev/null)
as_nobody=(setpriv --reuid="$nobody" --regid="$nobody" --clear-groups)
if [ "$(id -u)" = 0 ] && [ -n "$nobody" ] && "${as_nobody[@]}" test -x "$cli" 2>/dev/null; then
    chmod 777 "$work"
    attempt "folder the user cannot write" "Error writing file" "${as_nobody[@]}"
    chmod 755 "$work"
else
    skip "folder the user cannot write" "needs root, setpriv and a tool the user nobody can run"
fi

# A write past the limit fails with EFBIG instead of killing the tool, as XFSZ is ignored.
fresh file-size-limit
attempt "file size limit (ulimit -f)" "Error writing file" bash -c 'trap "" XFSZ; ulimit -f 1; exec "$@"' -

# Room for the model alone: the new file cannot be written next to it.
folder="$work/full-disk"
mkdir -p "$folder"
pages=$((($(stat -c %s "$model") + 4095) / 4096))
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=$((pages * 4))k tmpfs "$folder" 2>/dev/null; then
    mounts+=("$folder")
    cp "$model" "$folder/m.3do"
    attempt "full disk (small tmpfs)" "Error writing file"
else
    skip "full disk (small tmpfs)" "mount is not available (needs root and CAP_SYS_ADMIN)"
fi

# Must fail at once, not wait for a writer that never comes.
folder="$work/fifo"
mkdir -p "$folder"
mkfifo "$folder/m.3do"
attempt "FIFO named like a model" "Error reading file" timeout -k 1 5

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
