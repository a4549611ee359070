#!/usr/bin/env bash
# Real faults, end to end through the command-line tool: a read-only model, a folder that cannot be
# written (read-only mount, immutable folder, or a user without write access), a full disk (a file
# size limit, and a tmpfs with no room left), models removed or replaced by a folder after they were
# chosen and, under Wine, a model held open by another program. Each must give its error line in the
# log, lose nothing (the model stays byte for byte as it was) and leave no temporary file behind.
# Cases the machine cannot set up (no root, no mount, no Wine) are skipped with the reason.
#
#   scripts/fault_test.sh [BUILD_FOLDER [WINDOWS_BUILD_FOLDER]]
#       defaults: build/native (configured if missing) and build/windows (the Wine cases run only
#       when it holds scourvane-cli.exe and scourvane-hold-file.exe)
#
# SCOURVANE_CORPUS_DIR picks the real models (default ../shared/corpus/taprime); without them the
# project's sample models are used. Last line: "N passed, M failed".
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$root/build/native}")
windows_build=$(realpath -m "${2:-$root/build/windows}")
corpus=${SCOURVANE_CORPUS_DIR:-$root/../shared/corpus/taprime}

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
immutable=()
cleanup() {
    for folder in "${immutable[@]}"; do chattr -i "$folder" 2>/dev/null; done
    for mount in "${mounts[@]}"; do umount "$mount" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

# The model used throughout: a real one that cleaning shrinks, of 8 to 64 KB, or else the largest
# sample model.
model=""
if [ -d "$corpus" ]; then
    probe="$work/probe"
    mkdir -p "$probe"
    for candidate in "$corpus"/*.3do; do
        size=$(stat -c %s "$candidate")
        [ "$size" -ge 8192 ] && [ "$size" -le 65536 ] || continue
        cp "$candidate" "$probe/m.3do"
        chmod 644 "$probe/m.3do"
        if "$cli" --no-log "$probe/m.3do" >/dev/null 2>&1 && ! cmp -s "$candidate" "$probe/m.3do"; then
            model=$candidate
            break
        fi
    done
    rm -rf "$probe"
fi
if [ -z "$model" ]; then
    "$build/tools/scourvane-make-samples" "$work/samples" >/dev/null
    model=$(ls -S "$work/samples"/*.3do | head -n 1)
fi
original=$model
# The corpus is read-only; the copies must not be.
cp "$model" "$work/model.3do"
chmod 644 "$work/model.3do"
model="$work/model.3do"
model_size=$(stat -c %s "$model")
echo "model: $(basename "$original") ($model_size bytes)"

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1: $2"; }
skip() { echo "SKIP $1: $2"; }

# A fresh folder with a copy of the model as m.3do; prints the folder.
fresh() {
    local folder="$work/$1"
    mkdir -p "$folder"
    cp "$model" "$folder/m.3do"
    echo "$folder"
}

# expect CASE FOLDER LOG STATUS "LINE" ["LINE" ...]: the tool's exit status, each line in the log,
# the model as it was and nothing else in its folder.
expect() {
    local name=$1 folder=$2 log=$3 status=$4 wanted=$5
    shift 5
    if [ "$status" != "$wanted" ]; then
        fail "$name" "exit status $status, expected $wanted"
        return
    fi
    for line in "$@"; do
        if ! grep -qF "$line" "$log" 2>/dev/null; then
            fail "$name" "no \"$line\" in the log: $(tr -d '\r' <"$log" 2>/dev/null)"
            return
        fi
    done
    if [ -f "$folder/m.3do" ] && ! cmp -s "$model" "$folder/m.3do"; then
        fail "$name" "the model was changed"
        return
    fi
    local extra
    extra=$(ls -A "$folder" | grep -vxF -e m.3do -e fifo.3do -e b.3do)
    if [ -n "$extra" ]; then
        fail "$name" "left behind: $extra"
        return
    fi
    pass "$name"
}

logs="$work/logs"
mkdir -p "$logs"
chmod 777 "$logs"

# ---- a read-only model ----
folder=$(fresh read-only-file)
chmod 444 "$folder/m.3do"
"$cli" --log "$logs/read-only-file.txt" "$folder/m.3do" >/dev/null 2>&1
expect "read-only model" "$folder" "$logs/read-only-file.txt" $? 1 "Error writing file: \"$folder/m.3do\""

# ---- a folder that cannot be written ----
if [ "$(id -u)" = 0 ] && mkdir -p "$work/ro-mount" && mount -t tmpfs -o size=1m tmpfs "$work/ro-mount" 2>/dev/null; then
    mounts+=("$work/ro-mount")
    cp "$model" "$work/ro-mount/m.3do"
    if mount -o remount,ro "$work/ro-mount" 2>/dev/null; then
        "$cli" --log "$logs/ro-mount.txt" "$work/ro-mount/m.3do" >/dev/null 2>&1
        expect "folder on a read-only mount" "$work/ro-mount" "$logs/ro-mount.txt" $? 1 \
            "Error writing file: \"$work/ro-mount/m.3do\""
    else
        skip "folder on a read-only mount" "cannot remount read-only"
    fi
else
    skip "folder on a read-only mount" "mount is not available (needs root and CAP_SYS_ADMIN)"
fi

folder=$(fresh immutable-folder)
if chattr +i "$folder" 2>/dev/null; then
    immutable+=("$folder")
    "$cli" --log "$logs/immutable.txt" "$folder/m.3do" >/dev/null 2>&1
    status=$?
    chattr -i "$folder"
    expect "immutable folder (chattr +i)" "$folder" "$logs/immutable.txt" $status 1 \
        "Error writing file: \"$folder/m.3do\""
else
    skip "immutable folder (chattr +i)" "the file system does not support it"
fi

folder=$(fresh not-my-folder)
chmod 755 "$folder"
chmod 666 "$folder/m.3do"
nobody=$(id -u nobody 2>/dev/null)
if [ "$(id -u)" = 0 ] && [ -n "$nobody" ] && command -v setpriv >/dev/null &&
    setpriv --reuid="$nobody" --regid="$nobody" --clear-groups test -x "$cli" 2>/dev/null; then
    setpriv --reuid="$nobody" --regid="$nobody" --clear-groups \
        "$cli" --log "$logs/not-my-folder.txt" "$folder/m.3do" >/dev/null 2>&1
    expect "folder the user cannot write" "$folder" "$logs/not-my-folder.txt" $? 1 \
        "Error writing file: \"$folder/m.3do\""
else
    skip "folder the user cannot write" "needs root, setpriv and a tool the user nobody can run"
fi

# ---- a full disk ----
folder=$(fresh file-size-limit)
(
    trap '' XFSZ # so that a write past the limit fails with EFBIG instead of killing the tool
    ulimit -f 1  # 1 KB
    exec "$cli" --log "$logs/file-size-limit.txt" "$folder/m.3do"
) >/dev/null 2>&1
expect "file size limit (ulimit -f)" "$folder" "$logs/file-size-limit.txt" $? 1 \
    "Error writing file: \"$folder/m.3do\""

# A tmpfs with room for the model and one page more: the new file cannot be written next to it.
pages=$(((model_size + 4095) / 4096 + 1))
if [ "$(id -u)" = 0 ] && mkdir -p "$work/full" && mount -t tmpfs -o size=$((pages * 4))k tmpfs "$work/full" 2>/dev/null; then
    mounts+=("$work/full")
    cp "$model" "$work/full/m.3do"
    "$cli" --log "$logs/full.txt" "$work/full/m.3do" >/dev/null 2>&1
    expect "full disk (small tmpfs)" "$work/full" "$logs/full.txt" $? 1 "Error writing file: \"$work/full/m.3do\""
else
    skip "full disk (small tmpfs)" "mount is not available (needs root and CAP_SYS_ADMIN)"
fi

# ---- models gone after they were chosen ----
# The tool runs under strace, which holds its open of b.3do for a few seconds: b.3do was certainly
# chosen (looked at) before it disappears, and is certainly opened after.
# held_in_open PID: true once PID has sat in a traced open for three looks in a row.
held_in_open() {
    local number state seen=0
    for _ in $(seq 1 150); do
        state=$(awk '/^State:/ { print $2 }' "/proc/$1/status" 2>/dev/null)
        read -r number _ <"/proc/$1/syscall" 2>/dev/null || number=""
        if [ "$state" = t ] && [ "$number" = 257 ]; then
            seen=$((seen + 1))
            [ "$seen" = 3 ] && return 0
        else
            seen=0
        fi
        sleep 0.1
    done
    return 1
}
if ! command -v strace >/dev/null || ! strace -qq -o /dev/null true 2>/dev/null ||
    [ "$(uname -m)" != x86_64 ]; then
    skip "model removed or replaced after it was chosen" "needs strace with ptrace allowed, on x86-64"
else
    for how in removed replaced; do
        name="model $how after it was chosen"
        folder=$(fresh "$how")
        cp "$model" "$folder/b.3do"
        strace -f -qq -o /dev/null -e trace=openat -P "$folder/b.3do" -e inject=openat:delay_enter=4000000 \
            "$cli" --log "$logs/$how.txt" "$folder/m.3do" "$folder/b.3do" >/dev/null 2>&1 &
        tracer=$!
        tool=""
        for _ in $(seq 1 50); do
            tool=$(pgrep -P "$tracer" | head -n 1)
            [ -n "$tool" ] && break
            sleep 0.1
        done
        if [ -z "$tool" ] || ! held_in_open "$tool"; then
            wait "$tracer"
            fail "$name" "the tool was never seen opening b.3do"
            continue
        fi
        rm "$folder/b.3do"
        [ "$how" = replaced ] && mkdir "$folder/b.3do"
        wait "$tracer"
        status=$?
        if [ "$how" = replaced ] && ! [ -d "$folder/b.3do" ]; then
            fail "$name" "the folder was removed"
            continue
        fi
        # m.3do, chosen with it, is cleaned normally.
        cp "$model" "$work/expected.3do"
        "$cli" --no-log "$work/expected.3do" >/dev/null 2>&1
        if ! cmp -s "$work/expected.3do" "$folder/m.3do"; then
            fail "$name" "the model chosen with it was not cleaned"
            continue
        fi
        cp "$model" "$folder/m.3do"
        expect "$name" "$folder" "$logs/$how.txt" $status 1 "File cleaned: \"$folder/m.3do\"" \
            "Error reading file: \"$folder/b.3do\"" "1 out of 2 files cleaned successfully"
    done
fi

# ---- a FIFO named as a model: must fail at once, not wait for a writer that never comes ----
folder="$work/lone-fifo"
mkdir -p "$folder"
mkfifo "$folder/fifo.3do"
timeout -k 1 5 "$cli" --log "$logs/lone-fifo.txt" "$folder/fifo.3do" >/dev/null 2>&1
status=$?
if [ "$status" = 124 ] || [ "$status" = 137 ]; then
    fail "FIFO named as a model" "the tool waited for a writer until killed after 5 s"
else
    expect "FIFO named as a model" "$folder" "$logs/lone-fifo.txt" $status 1 \
        "Error reading file: \"$folder/fifo.3do\""
fi

# ---- under Wine: a model held open by another program ----
wine_cli="$windows_build/cli/scourvane-cli.exe"
holder="$windows_build/tests/faults/scourvane-hold-file.exe"
if ! command -v wine >/dev/null; then
    skip "model held open (Wine)" "wine is not installed"
elif [ ! -f "$wine_cli" ] || [ ! -f "$holder" ]; then
    skip "model held open (Wine)" "no Windows build in $windows_build (cmake --preset windows)"
else
    export WINEDEBUG=${WINEDEBUG:--all}
    # How the other program holds the model, and the line that must follow: a writer that lets
    # nobody in stops the load; a reader that lets others only read stops the save; a program that
    # lets others read and write but not rename stops the new file from taking the model's place.
    for held in "rw 0 Error reading file" "r 1 Error writing file" "r 3 Error writing file"; do
        read -r access share line <<<"$held"
        name="model held open with access $access and share mode $share (Wine)"
        folder=$(fresh "held-$access-$share")
        winpath=$(winepath -w "$folder/m.3do" 2>/dev/null)
        wine "$holder" "$winpath" "$access" "$share" 60 >/dev/null 2>&1 &
        holding=$!
        for _ in $(seq 1 600); do
            [ -f "$folder/m.3do.held" ] && break
            kill -0 "$holding" 2>/dev/null || break
            sleep 0.1
        done
        if [ ! -f "$folder/m.3do.held" ]; then
            fail "$name" "the holder could not open the model"
            kill "$holding" 2>/dev/null
            continue
        fi
        (cd "$folder" && wine "$wine_cli" --log held.txt "$winpath") >/dev/null 2>&1
        status=$?
        touch "$folder/m.3do.release"
        wait "$holding"
        rm -f "$folder/m.3do.release"
        mv "$folder/held.txt" "$logs/held-$access-$share.txt" 2>/dev/null
        expect "$name" "$folder" "$logs/held-$access-$share.txt" $status 1 "$line: \"$winpath\""
    done
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
