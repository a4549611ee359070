#!/usr/bin/env bash
# Real faults, end to end through the command-line tool: a read-only model, a folder the user cannot
# write, a full disk (a file size limit, a tmpfs with no room left), a FIFO named like a model, a
# model removed or replaced by a folder after it was chosen and, under Wine, a model held open by
# another program. Each must give its error line in the log, lose nothing (the model stays byte for
# byte as it was) and leave no temporary file behind. Faults at every single file operation are
# injected by tests/faults. Cases the machine cannot set up are skipped with the reason.
#
#   scripts/fault_test.sh [BUILD_FOLDER [WINDOWS_BUILD_FOLDER]]
#       defaults: build/native (configured if missing) and build/windows (the Wine cases run only
#       when it holds scourvane-cli.exe and scourvane-hold-file.exe)
#
# Last line: "N passed, M failed".
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$root/build/native}")
windows_build=$(realpath -m "${2:-$root/build/windows}")

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
verdict() {
    if [ -z "$2" ]; then
        passed=$((passed + 1))
        echo "PASS $1"
    else
        failed=$((failed + 1))
        echo "FAIL $1: $2"
    fi
}

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
    verdict "$name" "$problem"
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

# Gone after it was chosen: the tool runs under strace, which holds its open of b.3do for four
# seconds, so b.3do was certainly chosen before it goes and certainly opened after.
# held_in_open PID: true once a thread of PID (the tool cleans on workers) has sat in a traced open
# for three looks in a row.
held_in_open() {
    local number state seen=0 task held
    for _ in $(seq 1 150); do
        held=0
        for task in /proc/"$1"/task/*; do
            state=$(awk '/^State:/ { print $2 }' "$task/status" 2>/dev/null)
            read -r number _ <"$task/syscall" 2>/dev/null || number=""
            [ "$state" = t ] && [ "$number" = 257 ] && held=1
        done
        if [ "$held" = 1 ]; then
            seen=$((seen + 1))
            [ "$seen" = 3 ] && return 0
        else
            seen=0
        fi
        sleep 0.1
    done
    return 1
}
cp "$model" "$work/expected.3do"
"$cli" --no-log "$work/expected.3do" >/dev/null 2>&1
for how in removed replaced; do
    name="model $how after it was chosen"
    if ! strace -qq -o /dev/null true 2>/dev/null || [ "$(uname -m)" != x86_64 ]; then
        skip "$name" "needs strace with ptrace allowed, on x86-64"
        continue
    fi
    fresh "$how"
    cp "$model" "$folder/b.3do"
    log="$work/$how.log"
    strace -f -qq -o /dev/null -e trace=openat -P "$folder/b.3do" -e inject=openat:delay_enter=4000000 \
        "$cli" --log "$log" "$folder/m.3do" "$folder/b.3do" >/dev/null 2>&1 &
    tracer=$!
    tool=""
    for _ in $(seq 1 50); do
        tool=$(pgrep -P "$tracer" | head -n 1)
        [ -n "$tool" ] && break
        sleep 0.1
    done
    if [ -z "$tool" ] || ! held_in_open "$tool"; then
        wait "$tracer"
        verdict "$name" "the tool was never seen opening b.3do"
        continue
    fi
    rm "$folder/b.3do"
    [ "$how" = replaced ] && mkdir "$folder/b.3do"
    wait "$tracer"
    status=$?
    problem=""
    if [ "$status" != 1 ]; then
        problem="exit status $status, expected 1"
    elif ! grep -qF "Error reading file: \"$folder/b.3do\"" "$log" ||
        ! grep -qF "File cleaned: \"$folder/m.3do\"" "$log"; then
        problem="the log lacks a line: $(tr -d '\r' <"$log")"
    elif ! cmp -s "$work/expected.3do" "$folder/m.3do"; then
        problem="the model chosen with it was not cleaned"
    elif [ "$how" = replaced ] && ! [ -d "$folder/b.3do" ]; then
        problem="the folder that took its place was removed"
    elif [ -n "$(ls -A "$folder" | grep -vxF -e m.3do -e b.3do)" ]; then
        problem="left behind: $(ls -A "$folder")"
    fi
    verdict "$name" "$problem"
done

# Under Wine, another program holds the model: a writer that lets nobody in stops the load; a reader
# that lets others only read stops the save; one that lets others read and write but not rename
# stops the new file from taking the model's place.
holder="$windows_build/tests/faults/scourvane-hold-file.exe"
wine_cli="$windows_build/cli/scourvane-cli.exe"
for held in "rw 0 Error reading file" "r 1 Error writing file" "r 3 Error writing file"; do
    read -r access share line <<<"$held"
    name="model held open by another program, access $access, share mode $share (Wine)"
    if ! command -v wine >/dev/null || [ ! -f "$wine_cli" ] || [ ! -f "$holder" ]; then
        skip "$name" "needs wine and a Windows build in $windows_build (cmake --preset windows)"
        continue
    fi
    export WINEDEBUG=${WINEDEBUG:--all}
    fresh "held-$access-$share"
    winpath=$(winepath -w "$folder/m.3do" 2>/dev/null)
    wine "$holder" "$winpath" "$access" "$share" 60 >/dev/null 2>&1 &
    holding=$!
    for _ in $(seq 1 600); do
        [ -f "$folder/m.3do.held" ] && break
        kill -0 "$holding" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -f "$folder/m.3do.held" ]; then
        kill "$holding" 2>/dev/null
        verdict "$name" "the holder could not open the model"
        continue
    fi
    (cd "$work" && wine "$wine_cli" --log "held-$access-$share.log" "$winpath") >/dev/null 2>&1
    status=$?
    touch "$folder/m.3do.release"
    wait "$holding"
    rm -f "$folder/m.3do.release"
    problem=""
    if [ "$status" != 1 ]; then
        problem="exit status $status, expected 1"
    elif ! grep -qF "$line: \"$winpath\"" "$work/held-$access-$share.log"; then
        problem="no \"$line\" in the log: $(tr -d '\r' <"$work/held-$access-$share.log")"
    elif ! cmp -s "$model" "$folder/m.3do"; then
        problem="the model was changed"
    elif [ -n "$(ls -A "$folder" | grep -vxF m.3do)" ]; then
        problem="left behind: $(ls -A "$folder")"
    fi
    verdict "$name" "$problem"
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
