#!/usr/bin/env bash
# Real faults, end to end through the command-line tool: a read-only model, a folder the user cannot
# write, a full disk (a file size limit, a tmpfs with no room left), a FIFO named like a model, a
# model removed or replaced by a folder after it was chosen and, under Wine, a model held open by
# another program. Each must give its error line in the log, lose nothing (the model stays byte for
# byte as it was) and leave no temporary file behind. Then what a careless user or another program
# can do: a log aimed at a model or a device, a log that cannot be written, backups run twice or
# through links, set-user-id models, hard links, a model changed while it is cleaned, names as long
# as the system allows, out of memory in one model, nothing to clean, names that are not UTF-8, and
# runs interrupted (or killed outright) at random moments; under Wine the console's Ctrl+C, the
# delete-on-close temporary and paths near 260 characters. Faults at every single file operation are
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
if ! cmake --build "$build" -j2 --target scourvane-cli scourvane-make-samples scourvane-make-hostile >/dev/null; then
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
        "$cli" -j 1 --log "$log" "$folder/m.3do" "$folder/b.3do" >/dev/null 2>&1 &
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


# --- What a careless user or another program can do ---------------------------------------------

cp "$model" "$work/cleaned.3do"
"$cli" --no-log "$work/cleaned.3do" >/dev/null 2>&1
# temporaries FOLDER: names the tool may have left in FOLDER.
temporaries() { ls -A "$1" | grep -E '^\.scourvane-[0-9a-f]{8}\.tmp$'; }

# The report: never through a link, never over a model or a device, whole or not at all.
fresh report
ln -s m.3do "$folder/log.txt"
(cd "$folder" && "$cli" m.3do >/dev/null 2>&1)
status=$?
problem=""
if [ "$status" != 0 ]; then
    problem="exit status $status, expected 0"
elif ! cmp -s "$work/cleaned.3do" "$folder/m.3do"; then
    problem="the model is not the cleaned model (the report went through the link)"
elif [ -L "$folder/log.txt" ] || ! grep -q "1 out of 1 files cleaned successfully" "$folder/log.txt"; then
    problem="log.txt is not the report"
fi
verdict "a log.txt that links to the model replaces the link" "$problem"

problem=""
for target in "$folder/m.3do" "$folder/./m.3do.bak" /dev/full "$folder"; do
    cp "$model" "$folder/m.3do"
    "$cli" --backup --log "$target" "$folder/m.3do" >/dev/null 2>"$work/err"
    status=$?
    if [ "$status" != 2 ] || ! grep -q "the log file" "$work/err"; then
        problem="--log $target: exit status $status, expected 2 and the reason: $(cat "$work/err")"
    elif ! cmp -s "$model" "$folder/m.3do" || [ -e "$folder/m.3do.bak" ]; then
        problem="--log $target: the model was touched"
    fi
done
verdict "a log aimed at a model, its backup, a device or a folder is a usage error" "$problem"

# A report too large for the file size limit: the models stand, the previous report stays whole.
folder="$work/report-lost"
mkdir -p "$folder"
for i in $(seq -w 1 40); do cp "$work/samples/crate.3do" "$folder/m$i.3do"; done
printf 'previous' >"$work/report-lost.log"
bash -c 'trap "" XFSZ; ulimit -f 4; exec "$@"' - "$cli" --log "$work/report-lost.log" "$folder" \
    >/dev/null 2>"$work/err"
status=$?
problem=""
if [ "$status" != 1 ] || ! grep -q "could not be written" "$work/err"; then
    problem="exit status $status, expected 1 and the reason: $(cat "$work/err")"
elif [ "$(cat "$work/report-lost.log")" != previous ]; then
    problem="the previous report was not kept whole"
elif [ -n "$(temporaries "$work")" ]; then
    problem="left behind: $(temporaries "$work")"
fi
verdict "a report that cannot be written: exit 1, the previous report kept" "$problem"

# Backups: the first is the original and stays; none for a model that cannot be written or that
# cleaning leaves as it was; never through a link.
fresh backup
(cd "$folder" && "$cli" --no-log --backup m.3do >/dev/null 2>&1)
cp "$work/samples/crate.3do" "$folder/m.3do" # changed again since: its cleaning differs
(cd "$folder" && "$cli" --backup --no-log m.3do >"$work/out" 2>&1)
problem=""
if ! cmp -s "$model" "$folder/m.3do.bak"; then
    problem="the second run replaced the original in m.3do.bak"
elif ! grep -q "backup from an earlier run was kept" "$work/out"; then
    problem="the report does not say the earlier backup was kept"
fi
cp "$model" "$folder/r.3do"
chmod 444 "$folder/r.3do"
"$cli" --no-log --backup "$folder/r.3do" >/dev/null 2>&1
[ -e "$folder/r.3do.bak" ] && problem="a read-only model got a backup"
cp "$work/cleaned.3do" "$folder/c.3do"
"$cli" --no-log --backup "$folder/c.3do" >/dev/null 2>&1
[ -e "$folder/c.3do.bak" ] && problem="a model that cleaning leaves as it was got a backup"
cp "$model" "$folder/l.3do"
printf 'elsewhere' >"$work/elsewhere"
ln -s "$work/elsewhere" "$folder/l.3do.bak"
"$cli" --no-log --backup "$folder/l.3do" >/dev/null 2>&1
[ "$(cat "$work/elsewhere")" != elsewhere ] && problem="the backup was written through a link"
[ -L "$folder/l.3do.bak" ] || problem="the link named like the backup was replaced"
[ -n "$(temporaries "$folder")" ] && problem="left behind: $(temporaries "$folder")"
verdict "backups never replace an original, come only when needed, never through a link" "$problem"

# Metadata: set-user-id and set-group-id bits survive; a hard-linked model is refused whole.
fresh metadata
chmod 6755 "$folder/m.3do"
"$cli" --no-log "$folder/m.3do" >/dev/null 2>&1
problem=""
[ "$(stat -c %a "$folder/m.3do")" = 6755 ] || problem="mode $(stat -c %a "$folder/m.3do"), expected 6755"
cp "$model" "$folder/h.3do"
ln "$folder/h.3do" "$folder/h2.3do"
"$cli" --no-log "$folder/h.3do" >/dev/null 2>"$work/err"
status=$?
if [ "$status" != 1 ] || ! grep -q "hard link" "$work/err"; then
    problem="hard link: exit status $status, expected 1 and the reason: $(cat "$work/err")"
elif [ "$(stat -c %h "$folder/h.3do")" != 2 ] || ! cmp -s "$model" "$folder/h.3do"; then
    problem="the hard-linked model was split or changed"
fi
verdict "set-user-id bits survive, a hard-linked model is refused" "$problem"

# Another program writes the model while the tool flushes its cleaned copy: the change is kept.
name="a model changed while it is cleaned keeps the change"
if ! strace -qq -o /dev/null true 2>/dev/null; then
    skip "$name" "needs strace with ptrace allowed"
else
    fresh changed
    strace -f -qq -o /dev/null -e trace=fsync -e inject=fsync:delay_enter=2000000 \
        "$cli" --no-log "$folder/m.3do" >/dev/null 2>"$work/err" &
    tracer=$!
    sleep 1
    printf 'written by another program' >"$folder/m.3do"
    wait "$tracer"
    status=$?
    problem=""
    if [ "$status" != 1 ] || ! grep -q "changed while it was being cleaned" "$work/err"; then
        problem="exit status $status, expected 1 and the reason: $(cat "$work/err")"
    elif [ "$(cat "$folder/m.3do")" != "written by another program" ]; then
        problem="the other program's change was overwritten"
    elif [ -n "$(ls -A "$folder" | grep -vxF m.3do)" ]; then
        problem="left behind: $(ls -A "$folder")"
    fi
    verdict "$name" "$problem"
fi

# The longest name the system allows.
folder="$work/long-name"
mkdir -p "$folder"
long="$(printf 'n%.0s' $(seq 1 251)).3do"
cp "$model" "$folder/$long"
"$cli" --no-log "$folder/$long" >/dev/null 2>"$work/err"
status=$?
problem=""
if [ "$status" != 0 ]; then
    problem="exit status $status: $(cat "$work/err")"
elif ! cmp -s "$work/cleaned.3do" "$folder/$long"; then
    problem="the model was not cleaned"
elif [ "$(ls -A "$folder" | wc -l)" != 1 ]; then
    problem="left behind: $(ls -A "$folder")"
fi
verdict "a 255-byte model name cleans" "$problem"

# Out of memory in the middle model of three: it fails alone, the others are cleaned, the report
# and the JSON are whole. The chain of a million parts needs about 240 MB; 200 MB of address space
# leaves the small models room, a second worker's stack and heap included.
folder="$work/memory"
mkdir -p "$folder"
"$build/tests/hostile/scourvane-make-hostile" "$work/hostile" >/dev/null 2>&1
for jobs in 1 2; do
    cp "$model" "$folder/a.3do"
    cp "$work/hostile/million-part-sibling-chain.3do" "$folder/b.3do"
    cp "$model" "$folder/c.3do"
    (ulimit -v 150000 && exec "$cli" -j "$jobs" --json --log "$work/memory.log" "$folder") >"$work/memory.json" 2>"$work/err"
    status=$?
    problem=""
    if [ "$status" != 1 ]; then
        problem="-j $jobs: exit status $status, expected 1: $(cat "$work/err")"
    elif ! grep -q "Error reading file: \"$folder/b.3do\"" "$work/memory.log" ||
        ! grep -q "2 out of 3 files cleaned successfully" "$work/memory.log"; then
        problem="-j $jobs: the log: $(tr -d '\r' <"$work/memory.log")"
    elif ! grep -q '"filesAttempted":3,"filesCleaned":2' "$work/memory.json" || ! grep -q "not enough memory" "$work/err"; then
        problem="-j $jobs: the JSON or the reason: $(cat "$work/memory.json" "$work/err")"
    elif ! cmp -s "$work/cleaned.3do" "$folder/c.3do" ||
        ! cmp -s "$work/hostile/million-part-sibling-chain.3do" "$folder/b.3do"; then
        problem="-j $jobs: a model is not as it should be"
    fi
    [ -n "$problem" ] && break
done
verdict "out of memory fails one model, not the run, on one worker and on two" "$problem"

# Nothing to clean is an error, with a hint when subfolders hold models.
mkdir -p "$work/nothing/sub"
cp "$model" "$work/nothing/sub/m.3do"
"$cli" --no-log "$work/nothing" >/dev/null 2>"$work/err"
status=$?
problem=""
if [ "$status" != 1 ] || ! grep -q -- "-r" "$work/err"; then
    problem="exit status $status, expected 1 with a hint for -r: $(cat "$work/err")"
fi
verdict "no model found: exit 1 and a hint for -r" "$problem"

# A Latin-1 name comes back byte for byte from the JSON.
folder="$work/latin1"
mkdir -p "$folder"
latin=$'caf\xe9.3do'
cp "$model" "$folder/$latin"
(cd "$folder" && "$cli" --json --no-log . >"$work/latin1.json" 2>/dev/null)
recovered=$(python3 -c '
import json, sys
files = json.load(open(sys.argv[1]))["files"]
name = bytes.fromhex(files[0]["pathBytes"]) if "pathBytes" in files[0] else files[0]["path"].encode()
sys.stdout.buffer.write(name)' "$work/latin1.json" 2>&1)
if [ "$recovered" = "./$latin" ]; then problem=""; else problem="recovered \"$recovered\""; fi
verdict "a name that is not UTF-8 is recovered exactly from the JSON" "$problem"

# --- Interrupts ---------------------------------------------------------------------------------
# Many runs over a hundred models, each interrupted at a random moment (SIGINT, SIGTERM, SIGHUP)
# or killed outright (SIGKILL): every model is the original or the whole cleaned model, no temporary
# is left, and an interrupted run's report holds its summary, with exit status 128 + the signal.
# Every signal is tried on one worker and on two.
originals="$work/interrupt-originals"
mkdir -p "$originals"
corpus=${SCOURVANE_CORPUS_DIR:-$root/../shared/corpus/taprime}
if [ -d "$corpus" ]; then
    find "$corpus" -maxdepth 1 -iname '*.3do' -print0 | sort -z | head -z -n 120 | xargs -0 cp -t "$originals/"
else
    for i in $(seq -w 1 30); do
        for sample in "$work/samples"/*.3do; do cp "$sample" "$originals/$i-$(basename "$sample")"; done
    done
fi
chmod -R u+w "$originals"
cp -r "$originals" "$work/interrupt-cleaned"
"$cli" --no-log "$work/interrupt-cleaned" >/dev/null 2>&1
cp -r "$originals" "$work/interrupt-timing"
start=$EPOCHREALTIME
"$cli" -j 1 --no-log "$work/interrupt-timing" >/dev/null 2>&1
span_ms=$(python3 -c "print(max(50, int(($EPOCHREALTIME - $start) * 1000)))")
runs=${SCOURVANE_INTERRUPT_RUNS:-16}
# check_interrupted.py ORIGINALS CLEANED FOLDER LOG SIGNAL STATUS: prints what is wrong, if anything.
cat >"$work/check_interrupted.py" <<'PYTHON'
import os, re, sys
originals, cleaned, folder, log, signal, status = sys.argv[1:]
status = int(status)
expected = {"INT": 130, "TERM": 143, "HUP": 129, "KILL": 137}[signal]
names = sorted(os.listdir(originals))
left = sorted(set(os.listdir(folder)) - set(names))
if signal == "KILL":
    # Killed in the one instant between naming the flushed temporary and renaming it: what is left
    # is a whole cleaned model under the fixed temporary name, never a part of one.
    whole = {open(os.path.join(cleaned, n), "rb").read() for n in names}
    left = [n for n in left if not (re.fullmatch(r"\.scourvane-[0-9a-f]{8}\.tmp", n) and
                                    open(os.path.join(folder, n), "rb").read() in whole)]
if left:
    sys.exit(print("left behind: " + " ".join(left)))
done = 0
for name in names:
    now = open(os.path.join(folder, name), "rb").read()
    if now == open(os.path.join(cleaned, name), "rb").read():
        done += 1
    elif now != open(os.path.join(originals, name), "rb").read():
        sys.exit(print(name + " is neither the original nor the cleaned model"))
report = open(log, "rb").read().decode("latin-1")
# A run killed after its report took its name (the tool was only ending) counts as finished.
finished = done == len(names) and (status == 0 or (signal == "KILL" and report != "previous"))
if signal == "KILL" and not finished:
    if status != 137 or report != "previous":
        sys.exit(print("after SIGKILL: status %d, the previous report %s" % (status, "kept" if report == "previous" else "lost")))
    sys.exit()
if report == "previous" and done == 0 and status == expected:
    sys.exit() # the signal came before the tool could catch it: nothing was touched
if status not in (0, expected):
    sys.exit(print("exit status %d, expected %d (or 0 when the run had ended)" % (status, expected)))
summary = re.search(r"\r\n(\d+) out of (\d+) files cleaned successfully", report)
if not summary or report.count("File cleaned: ") != int(summary.group(1)):
    sys.exit(print("the report lacks its summary or a cleaned file: " + report[-200:]))
if status == 0 and int(summary.group(2)) != len(names):
    sys.exit(print("a run that was not interrupted did not try every model"))
PYTHON
problem=""
folder="$work/interrupted"
for run in $(seq 1 "$runs"); do
    signals=(INT TERM HUP KILL)
    signal=${signals[$((run % 4))]}
    rm -rf "$folder" && cp -r "$originals" "$folder"
    printf 'previous' >"$work/interrupted.log"
    jobs=$((run / 4 % 2 + 1))
    "$cli" -j "$jobs" --log "$work/interrupted.log" "$folder" >/dev/null 2>&1 &
    tool=$!
    delay=$(((RANDOM * 32768 + RANDOM) % span_ms))
    sleep "$((delay / 1000)).$(printf %03d $((delay % 1000)))"
    kill -s "$signal" "$tool" 2>/dev/null
    { wait "$tool"; } 2>/dev/null # no "Killed" line
    status=$?
    verdict_text=$(python3 "$work/check_interrupted.py" "$originals" "$work/interrupt-cleaned" "$folder" \
        "$work/interrupted.log" "$signal" "$status")
    if [ -n "$verdict_text" ]; then
        problem="run $run ($signal, -j $jobs): $verdict_text"
        break
    fi
done
verdict "$runs runs interrupted or killed at random moments lose nothing and leave nothing" "$problem"

# --- Under Wine: the console's Ctrl+C, the delete-on-close temporary, paths near 260 characters ---
wine_ready() {
    command -v wine >/dev/null && [ -f "$wine_cli" ] && export WINEDEBUG=${WINEDEBUG:--all}
}
name="Ctrl+C in the console stops the run between files (Wine)"
if ! wine_ready; then
    skip "$name" "needs wine and a Windows build in $windows_build (cmake --preset windows)"
else
    folder="$work/wine-interrupted"
    rm -rf "$folder" && cp -r "$originals" "$folder"
    printf 'previous' >"$work/interrupted.log"
    (cd "$work" && exec wine "$wine_cli" --log interrupted.log "$(winepath -w "$folder")") >/dev/null 2>&1 &
    tool=$!
    # Wine's start-up takes a while; the models show when the run is under way.
    for _ in $(seq 1 200); do
        [ "$(find "$folder" -newer "$work/interrupted.log" | head -n 2 | wc -l)" -ge 2 ] && break
        sleep 0.05
    done
    kill -s INT "$tool"
    { wait "$tool"; } 2>/dev/null
    status=$?
    problem=$(python3 "$work/check_interrupted.py" "$originals" "$work/interrupt-cleaned" "$folder" \
        "$work/interrupted.log" INT "$status")
    [ -z "$problem" ] && [ "$status" != 130 ] && problem="the run ended before the interrupt (exit status $status)"
    verdict "$name" "$problem"
fi

name="a save killed outright leaves no temporary: delete-on-close (Wine)"
if ! wine_ready; then
    skip "$name" "needs wine and a Windows build in $windows_build (cmake --preset windows)"
else
    folder="$work/wine-killed"
    mkdir -p "$folder"
    cp "$work/hostile/million-part-sibling-chain.3do" "$folder/m.3do"
    wine "$wine_cli" --no-log "$(winepath -w "$folder/m.3do")" >/dev/null 2>&1 &
    tool=$!
    seen=""
    for _ in $(seq 1 600); do
        seen=$(temporaries "$folder")
        [ -n "$seen" ] && break
        sleep 0.05
    done
    kill -s KILL "$tool"
    { wait "$tool"; } 2>/dev/null
    sleep 1 # the Wine server closes the dead process's handles
    problem=""
    if [ -z "$seen" ]; then
        problem="the save was never seen under way"
    elif [ -n "$(ls -A "$folder" | grep -vxF m.3do)" ]; then
        problem="left behind: $(ls -A "$folder")"
    elif ! cmp -s "$work/hostile/million-part-sibling-chain.3do" "$folder/m.3do"; then
        problem="the model was changed"
    fi
    verdict "$name" "$problem"
fi

name="a model whose path is 255 characters cleans (Wine)"
if ! wine_ready; then
    skip "$name" "needs wine and a Windows build in $windows_build (cmake --preset windows)"
else
    folder="$work/wine-long"
    mkdir -p "$folder"
    winfolder=$(winepath -w "$folder")
    # Grow the folder until the model's Windows path is 255 characters long.
    pad=$((255 - ${#winfolder} - 7))
    sub="$folder/$(printf 'p%.0s' $(seq 1 $((pad / 2))))/$(printf 'q%.0s' $(seq 1 $((pad - pad / 2 - 1))))"
    mkdir -p "$sub"
    cp "$model" "$sub/m.3do"
    winmodel=$(winepath -w "$sub/m.3do")
    wine "$wine_cli" --no-log "$winmodel" >/dev/null 2>"$work/err"
    status=$?
    problem=""
    if [ "$status" != 0 ]; then
        problem="exit status $status (path of ${#winmodel} characters): $(cat "$work/err")"
    elif ! cmp -s "$work/cleaned.3do" "$sub/m.3do"; then
        problem="the model was not cleaned"
    elif [ -n "$(ls -A "$sub" | grep -vxF m.3do)" ]; then
        problem="left behind: $(ls -A "$sub")"
    fi
    verdict "$name" "$problem"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
