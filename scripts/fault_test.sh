#!/usr/bin/env bash
# Real faults, end to end through the command-line tool. What the disk or the system refuses gives its
# error line in the log, loses nothing (the model stays byte for byte as it was) and leaves no
# temporary behind. Then what a careless user or another program can do, runs interrupted or killed
# outright at random moments and, under Wine, the console's Ctrl+C, the delete-on-close temporary and
# paths near 260 characters. Faults at every single file operation are injected by tests/faults.
# Cases the machine cannot set up are skipped with the reason.
#
#   scripts/fault_test.sh [BUILD_FOLDER [WINDOWS_BUILD_FOLDER]]
#       defaults: build/native (configured if missing) and build/windows (the Wine cases run only
#       when it holds scourvane-cli.exe and scourvane-hold-file.exe)
#
# A new attack: set up $folder (fresh NAME gives one holding the model as m.3do), run the tool with
# run, state what must hold with need, need_exit, need_said and need_only, and end with verdict NAME.
source "$(dirname "$0")/lib.sh"
build=$(realpath -m "${1:-$root/build/native}")
windows_build=$(realpath -m "${2:-$root/build/windows}")
cli="$build/cli/scourvane-cli"
wine_cli="$windows_build/cli/scourvane-cli.exe"
holder="$windows_build/tests/faults/scourvane-hold-file.exe"
work_folder faults
built "$build" native scourvane-cli scourvane-make-samples scourvane-make-hostile &&
    "$build/tools/scourvane-make-samples" "$work/samples" >/dev/null &&
    "$build/tests/hostile/scourvane-make-hostile" "$work/hostile" >/dev/null || give_up "faults: the build failed"
# The model: the largest sample, which cleaning shrinks, and large enough that a 1 KB limit stops its
# save. Real faults do not depend on the model's content.
model=$(ls -S "$work/samples"/*.3do | head -n 1)
chain="$work/hostile/million-part-sibling-chain.3do"
cp "$model" "$work/cleaned.3do" && "$cli" --no-log "$work/cleaned.3do" >/dev/null 2>&1

# fresh NAME [FILE]: $folder, a new folder holding a copy of FILE (default the model) as m.3do.
fresh() { folder="$work/$1" && mkdir -p "$folder" && cp "${2:-$model}" "$folder/m.3do"; }
temporaries() { ls -A "$1" | grep -E '^\.scourvane-[0-9a-f]{8}\.tmp$'; }
saving() { [ -n "$(temporaries "$folder")" ]; }
under_way() { [ "$(find "$folder" -newer "$work/log" | head -n 2 | wc -l)" = 2 ]; }
# can strace|wine NAME: true when the machine can set up the case NAME; otherwise it is skipped.
can() {
    case $1 in
    strace) strace -qq -o /dev/null true 2>/dev/null && [ "$(uname -m)" = x86_64 ] && return ;;
    wine) command -v wine >/dev/null && [ -f "$wine_cli" ] && [ -f "$holder" ] && wine_prefix && return ;;
    esac
    skip "$2" "needs $1 (strace: with ptrace allowed, on x86-64; wine: a Windows build in $windows_build)"
    return 1
}
# held_in CALL PID: true once a thread of PID has sat in the traced system call CALL (its number on
# x86-64) for three looks in a row.
held_in() { wait_until 15 held_for_a_while "$@"; }
held_for_a_while() { held_now "$@" && sleep 0.1 && held_now "$@" && sleep 0.1 && held_now "$@"; }
held_now() {
    local task state number
    for task in /proc/"$2"/task/*; do
        state=$(awk '/^State:/ { print $2 }' "$task/status" 2>/dev/null)
        read -r number _ <"$task/syscall" 2>/dev/null && [ "$state" = t ] && [ "$number" = "$1" ] && return
    done
    return 1
}
# traced PID: the tool that the strace of PID started.
traced() { wait_until 5 pgrep -P "$1" >/dev/null && pgrep -P "$1" | head -n 1; }

# --- What the disk or the system refuses -------------------------------------------------------
# refused CASE LINE [PREFIX...]: the tool on $folder/m.3do, after PREFIX (a limit, another user),
# exits with 1, gives LINE in the log, keeps the model as it was and leaves nothing else.
refused() {
    local name=$1 line=$2
    shift 2
    rm -f "$work/log"
    run "$@" "$cli" --log "$work/log" "$folder/m.3do"
    need_exit 1
    need_said "$line: \"$folder/m.3do\"" "$work/log"
    need "the model was changed" eval '[ ! -f "$folder/m.3do" ] || cmp -s "$model" "$folder/m.3do"' # a FIFO stays
    need_only "$folder" m.3do
    verdict "$name"
}
fresh read-only && chmod 444 "$folder/m.3do"
refused "read-only model" "Error writing file"

fresh not-mine && chmod 666 "$folder/m.3do"
nobody=$(id -u nobody 2>/dev/null)
as_nobody=(setpriv --reuid="$nobody" --regid="$nobody" --clear-groups)
if [ "$(id -u)" = 0 ] && [ -n "$nobody" ] && "${as_nobody[@]}" test -x "$cli" 2>/dev/null; then
    chmod 777 "$work" # for the log
    refused "folder the user cannot write" "Error writing file" "${as_nobody[@]}"
    chmod 755 "$work"
else
    skip "folder the user cannot write" "needs root, setpriv and a tool the user nobody can run"
fi

# A write past the limit fails with EFBIG instead of killing the tool, as XFSZ is ignored.
fresh size-limit
refused "file size limit (ulimit -f)" "Error writing file" bash -c 'trap "" XFSZ; ulimit -f 1; exec "$@"' -

# Room for the model alone: the new file cannot be written next to it.
folder="$work/full-disk" && mkdir -p "$folder"
if [ "$(id -u)" = 0 ] &&
    mount -t tmpfs -o size=$((($(stat -c %s "$model") + 4095) / 4096 * 4))k tmpfs "$folder" 2>/dev/null; then
    mounts+=("$folder")
    cp "$model" "$folder/m.3do"
    refused "full disk (small tmpfs)" "Error writing file"
else
    skip "full disk (small tmpfs)" "mount is not available (needs root and CAP_SYS_ADMIN)"
fi

# Must fail at once, not wait for a writer that never comes.
folder="$work/fifo" && mkdir -p "$folder" && mkfifo "$folder/m.3do"
refused "FIFO named like a model" "Error reading file" timeout -k 1 30

# Gone after it was chosen: strace holds the tool's open of b.3do for four seconds, so b.3do was
# certainly chosen before it goes and certainly opened after.
for how in removed replaced; do
    name="model $how after it was chosen"
    can strace "$name" || continue
    fresh "$how" && cp "$model" "$folder/b.3do" && rm -f "$work/log"
    strace -f -qq -o /dev/null -e trace=openat -P "$folder/b.3do" -e inject=openat:delay_enter=4000000 \
        "$cli" -j 1 --log "$work/log" "$folder/m.3do" "$folder/b.3do" >/dev/null 2>"$work/err" &
    tracer=$!
    need "the tool was never seen opening b.3do" held_in 257 "$(traced "$tracer")"
    rm "$folder/b.3do"
    [ "$how" = removed ] || mkdir "$folder/b.3do"
    wait "$tracer"
    status=$?
    need_exit 1
    need_said "Error reading file: \"$folder/b.3do\"" "$work/log"
    need_said "File cleaned: \"$folder/m.3do\"" "$work/log"
    need "the model chosen with it was not cleaned" cmp -s "$work/cleaned.3do" "$folder/m.3do"
    [ "$how" = removed ] || need "the folder that took its place was removed" [ -d "$folder/b.3do" ]
    need_only "$folder" m.3do b.3do
    verdict "$name"
done

# Another Windows program holds the model: a writer that lets nobody in stops the load; a reader
# that lets others only read stops the save; one that lets others read and write but not delete
# stops the new file from taking the model's place.
for held in "rw 0 Error reading file" "r 1 Error writing file" "r 3 Error writing file"; do
    read -r access share line <<<"$held"
    name="model held open by another program, access $access, share mode $share (Wine)"
    can wine "$name" || continue
    fresh "held-$access-$share"
    winpath=$(winepath -w "$folder/m.3do" 2>/dev/null)
    wine "$holder" "$winpath" "$access" "$share" 60 >/dev/null 2>&1 &
    holding=$!
    need "the holder could not open the model" wait_until 60 test -f "$folder/m.3do.held"
    rm -f "$work/log"
    [ -n "$problem" ] || run wine "$wine_cli" --log "$(winepath -w "$work/log")" "$winpath"
    touch "$folder/m.3do.release"
    wait "$holding"
    rm -f "$folder/m.3do.release"
    need_exit 1
    need_said "$line: \"$winpath\"" "$work/log"
    need "the model was changed" cmp -s "$model" "$folder/m.3do"
    need_only "$folder" m.3do
    verdict "$name"
done

# --- What a careless user or another program can do ---------------------------------------------
# The report: never through a link, never over a model or a device, whole or not at all.
fresh report && ln -s m.3do "$folder/log.txt"
run env -C "$folder" "$cli" m.3do
need_exit 0
need "the report went through the link to the model" cmp -s "$work/cleaned.3do" "$folder/m.3do"
need "log.txt is still a link" not test -L "$folder/log.txt"
need_said "1 out of 1 files cleaned successfully" "$folder/log.txt"
verdict "a log.txt that links to the model replaces the link"

for target in "$folder/m.3do" "$folder/./m.3do.bak" /dev/full "$folder"; do
    cp "$model" "$folder/m.3do"
    run "$cli" --backup --log "$target" "$folder/m.3do"
    need_exit 2
    need_said "the log file"
    need "the model was touched" cmp -s "$model" "$folder/m.3do"
    need "a backup was made" not test -e "$folder/m.3do.bak"
    [ -z "$problem" ] || { problem="--log $target: $problem" && break; }
done
verdict "a log aimed at a model, its backup, a device or a folder is a usage error"

# A report too large for the file size limit: the models stand, the previous report stays whole.
folder="$work/report-lost" && mkdir -p "$folder"
for i in $(seq -w 1 40); do cp "$work/samples/crate.3do" "$folder/m$i.3do"; done
printf previous >"$work/log"
run bash -c 'trap "" XFSZ; ulimit -f 4; exec "$@"' - "$cli" --log "$work/log" "$folder"
need_exit 1
need_said "could not be written"
need "the previous report was not kept whole" [ "$(cat "$work/log")" = previous ]
need "left behind: $(temporaries "$work")" [ -z "$(temporaries "$work")" ]
verdict "a report that cannot be written: exit 1, the previous report kept"

# Backups: the first is the original and stays; none for a model that cannot be written or that
# cleaning leaves as it was. Names taken by links, folders or FIFOs are tests/faults' (copy_name).
fresh backup
run env -C "$folder" "$cli" --no-log --backup m.3do
cp "$work/samples/crate.3do" "$folder/m.3do" # changed again since: its cleaning differs
run env -C "$folder" "$cli" --no-log --backup m.3do
need "the second run replaced the original in m.3do.bak" cmp -s "$model" "$folder/m.3do.bak"
need_said "backup from an earlier run was kept" "$work/out"
cp "$model" "$folder/r.3do" && chmod 444 "$folder/r.3do"
cp "$work/cleaned.3do" "$folder/c.3do"
for name in r c; do run "$cli" --no-log --backup "$folder/$name.3do"; done
need_only "$folder" m.3do m.3do.bak r.3do c.3do # no backup of the read-only or the clean model
verdict "backups never replace an original and come only when needed"

# Metadata: set-user-id and set-group-id bits survive; a hard-linked model is refused whole.
fresh metadata && chmod 6755 "$folder/m.3do"
run "$cli" --no-log "$folder/m.3do"
need "mode $(stat -c %a "$folder/m.3do"), expected 6755" [ "$(stat -c %a "$folder/m.3do")" = 6755 ]
cp "$model" "$folder/h.3do" && ln "$folder/h.3do" "$folder/h2.3do"
run "$cli" --no-log "$folder/h.3do"
need_exit 1
need_said "hard link"
need "the hard-linked model was split" [ "$(stat -c %h "$folder/h.3do")" = 2 ]
need "the hard-linked model was changed" cmp -s "$model" "$folder/h.3do"
verdict "set-user-id bits survive, a hard-linked model is refused"

# Another program writes the model while the tool flushes its cleaned copy (held in fsync, 74).
name="a model changed while it is cleaned keeps the change"
if can strace "$name"; then
    fresh changed
    strace -f -qq -o /dev/null -e trace=fsync -e inject=fsync:delay_enter=3000000 \
        "$cli" --no-log "$folder/m.3do" >/dev/null 2>"$work/err" &
    tracer=$!
    need "the tool was never seen flushing" held_in 74 "$(traced "$tracer")"
    printf 'written by another program' >"$folder/m.3do"
    wait "$tracer"
    status=$?
    need_exit 1
    need_said "changed while it was being cleaned"
    need "the other program's change was overwritten" [ "$(cat "$folder/m.3do")" = "written by another program" ]
    need_only "$folder" m.3do
    verdict "$name"
fi

# The longest name the system allows, and a Latin-1 name, which comes back byte for byte from the JSON.
folder="$work/names" && mkdir -p "$folder"
long="$(printf 'n%.0s' $(seq 251)).3do" latin=$'caf\xe9.3do'
cp "$model" "$folder/$long" && cp "$model" "$folder/$latin"
run env -C "$folder" "$cli" --json --no-log .
need_exit 0
need "the long name was not cleaned" cmp -s "$work/cleaned.3do" "$folder/$long"
need "the Latin-1 name was not cleaned" cmp -s "$work/cleaned.3do" "$folder/$latin"
need_only "$folder" "$long" "$latin"
hex=$(grep -o '"pathBytes":"[0-9a-f]*"' "$work/out" | cut -d'"' -f4)
recovered=$(printf '%b' "$(sed 's/../\\x&/g' <<<"$hex")")
need "the JSON gives back \"$recovered\"" [ "$recovered" = "./$latin" ]
verdict "a 255-byte name cleans; a name that is not UTF-8 is recovered exactly from the JSON"

# Out of memory in the middle model of three: it fails alone, the others are cleaned, the report
# and the JSON are whole. The chain of a million parts needs about 240 MB; 150 MB of address space
# leaves the small models room, a second worker's stack and heap included.
folder="$work/memory" && mkdir -p "$folder"
for jobs in 1 2; do
    cp "$model" "$folder/a.3do" && cp "$chain" "$folder/b.3do" && cp "$model" "$folder/c.3do"
    run bash -c 'ulimit -v 150000 && exec "$@"' - "$cli" -j "$jobs" --json --log "$work/log" "$folder"
    need_exit 1
    need_said "not enough memory"
    need_said "Error reading file: \"$folder/b.3do\"" "$work/log"
    need_said "2 out of 3 files cleaned successfully" "$work/log"
    need_said '"filesAttempted":3,"filesCleaned":2' "$work/out"
    need "a model is not as it should be" cmp -s "$work/cleaned.3do" "$folder/c.3do"
    need "the model that failed was changed" cmp -s "$chain" "$folder/b.3do"
    [ -z "$problem" ] || { problem="-j $jobs: $problem" && break; }
done
verdict "out of memory fails one model, not the run, on one worker and on two"

# Nothing to clean is an error, with a hint when subfolders hold models.
mkdir -p "$work/nothing/sub" && cp "$model" "$work/nothing/sub/m.3do"
run "$cli" --no-log "$work/nothing"
need_exit 1
need_said "-r"
verdict "no model found: exit 1 and a hint for -r"

# Streams that refuse the report: a full disk under the JSON or the report, a reader that goes away
# first, standard error and output closed while the workers write temporaries.
fresh streams
for form in --json --verbose; do
    cp "$model" "$folder/m.3do"
    run bash -c '"$@" >/dev/full' - "$cli" --no-log "$form" "$folder/m.3do"
    need "$form to a full disk: exit $status, expected 1" [ "$status" = 1 ]
done
for jobs in 1 2; do
    for i in $(seq -w 1 60); do cp "$model" "$folder/m$i.3do"; done
    run bash -c '"$@" >&- 2>&-' - "$cli" -j "$jobs" --no-log "$folder"
    need "-j $jobs with the streams closed: exit $status" [ "$status" = 0 ]
    for i in $(seq -w 1 60); do need "-j $jobs: m$i.3do is not the cleaned model" cmp -s "$work/cleaned.3do" "$folder/m$i.3do"; done
done
# The reader is gone before the tool writes its report: the write fails, and must not end the tool.
run bash -c '"$@" | true; exit "${PIPESTATUS[0]}"' - "$cli" -j1 --log "$work/log" "$folder"
need "the tool died of the closed pipe (exit $status)" [ "$status" != 141 ]
need "the report is not whole" grep -qF "files cleaned successfully" "$work/log"
verdict "a report that cannot get out fails the run; closed streams never reach a model"

# The same file named twice, through a folder, a subfolder and a link, is cleaned once and counted
# once, on two workers; a folder that cannot be listed fails the run and the gate.
fresh twice && mkdir "$folder/sub" && cp "$model" "$folder/sub/s.3do" && ln -s sub "$folder/link"
run "$cli" -j2 -r --no-log "$folder" "$folder/sub" "$folder/link/s.3do" "$folder/./m.3do"
need_exit 0
need_said "2 out of 2 files cleaned successfully" "$work/out"
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    fresh unlistable && mkdir -p "$folder/locked" && cp "$model" "$folder/locked/l.3do" && chmod 700 "$folder/locked"
    chmod 755 "$work" "$folder" && chmod 666 "$folder/m.3do"
    run setpriv --reuid=nobody --regid=nogroup --clear-groups "$cli" --check -r "$folder"
    need_exit 3
    need_said "cannot list the directory"
    run setpriv --reuid=nobody --regid=nogroup --clear-groups "$cli" --no-log -r "$folder"
    need_exit 1
fi
verdict "a file named twice is taken once; a tree not read whole fails the run"

# A name that holds line ends takes one line of a listing, and forges none.
fresh lines && mv "$folder/m.3do" "$folder/"$'y\nvictim.3do\nz.3do'
run "$cli" --check "$folder"
need_exit 1
need "the listing took $(wc -l <"$work/out") lines" [ "$(wc -l <"$work/out")" = 1 ]
need_said 'y\x0avictim.3do\x0az.3do' "$work/out"
verdict "names with line ends are listed on one line"

# An output that is another source of the run is never written; the sources stay as they were.
fresh outputs && mkdir -p "$folder/m/m" && mv "$folder/m.3do" "$folder/m/a.3do" && cp "$model" "$folder/m/m/a.3do"
run env -C "$folder" "$cli" --no-log -r -o . m
need_exit 2
need_said "another file being cleaned"
need "a source was changed" cmp -s "$model" "$folder/m/a.3do"
verdict "no output is written over a source"

# A pipe that never ends, of bytes that are no model: refused from its first header, in bounded memory.
run bash -c 'ulimit -v 1048576; yes | timeout 30 "$1" - >/dev/null' _ "$cli"
need_exit 1
need_said "not a 3DO model: version"
verdict "endless input that is no model is refused from its first header"

# --- Interrupts ---------------------------------------------------------------------------------
# Many runs over a hundred models, each interrupted at a random moment (SIGINT, SIGTERM, SIGHUP) or
# killed outright (SIGKILL), every signal on one worker and on two, judged by check_interrupted.py.
originals="$work/originals" && mkdir -p "$originals"
corpus=${SCOURVANE_CORPUS_DIR:-$root/../shared/corpus/taprime}
if [ -d "$corpus" ]; then
    find "$corpus" -maxdepth 1 -iname '*.3do' -print0 | sort -z | head -z -n 120 | xargs -0 cp -t "$originals/"
else
    for i in $(seq -w 1 30); do
        for sample in "$work/samples"/*.3do; do cp "$sample" "$originals/$i-${sample##*/}"; done
    done
fi
chmod -R u+w "$originals" && cp -r "$originals" "$work/cleaned"
# timed COMMAND...: runs COMMAND; span_ms is how long it took, at least 50 ms.
timed() {
    local start=${EPOCHREALTIME/[.,]/}
    "$@" >/dev/null 2>&1
    span_ms=$(((${EPOCHREALTIME/[.,]/} - start) / 1000))
    ((span_ms > 50)) || span_ms=50
}
# stopped COMMAND...: starts COMMAND on one worker or two and sends it a signal at a random moment
# within span_ms, both chosen by $round; sets signal, jobs and status.
signals=(INT TERM HUP KILL)
stopped() {
    signal=${signals[$((round % 4))]} jobs=$((round / 4 % 2 + 1))
    "$@" -j "$jobs" >/dev/null 2>&1 &
    local tool=$! delay=$(((RANDOM * 32768 + RANDOM) % span_ms))
    # The clock starts once the tool runs: a signal to the shell forked for it, before the exec, is
    # no test of the tool (and a SIGINT there can even end it with status 0).
    wait_until 5 eval '[ "$(readlink "/proc/$tool/exe")" = "$cli" ]'
    sleep "$((delay / 1000)).$(printf %03d $((delay % 1000)))"
    kill -s "$signal" "$tool" 2>/dev/null
    { wait "$tool"; } 2>/dev/null # no "Killed" line
    status=$?
}
timed "$cli" -j 1 --no-log "$work/cleaned"
# interrupted SIGNAL STATUS: what is wrong with the interrupted run in $folder, if anything.
interrupted() { python3 "$root/tests/faults/check_interrupted.py" "$originals" "$work/cleaned" "$folder" "$work/log" "$@"; }
runs=${SCOURVANE_INTERRUPT_RUNS:-16}
folder="$work/interrupted"
for round in $(seq "$runs"); do
    rm -rf "$folder" && cp -r "$originals" "$folder" && printf previous >"$work/log"
    stopped "$cli" --log "$work/log" "$folder"
    problem=$(interrupted "$signal" "$status")
    [ -z "$problem" ] || { problem="run $round ($signal, -j $jobs): $problem" && break; }
done
verdict "$runs runs interrupted or killed at random moments lose nothing and leave nothing"

# The same for a mod's archive: its models and 24 MB of other entries, rewritten as one file. An
# interrupt lets the archive under way finish; a kill leaves the old archive or, in the one instant
# between naming the flushed temporary and renaming it, the whole new one under the temporary name.
name="archive rewrites interrupted or killed at random moments leave the old archive or the new one"
mod="$work/mod" && mkdir -p "$mod/objects3d" && cp "$originals"/* "$mod/objects3d/"
head -c 24000000 /dev/urandom >"$mod/sounds.bin"
if ! command -v zip >/dev/null || ! (cd "$mod" && zip -qr ../mod.sdz objects3d && zip -q0 ../mod.sdz sounds.bin); then
    skip "$name" "needs Info-ZIP zip"
else
    cp "$work/mod.sdz" "$work/mod-cleaned.sdz"
    timed "$cli" --no-log "$work/mod-cleaned.sdz"
    folder="$work/archive-interrupted"
    for round in $(seq 8); do
        rm -rf "$folder" && mkdir "$folder" && cp "$work/mod.sdz" "$folder/"
        stopped "$cli" --no-log "$folder/mod.sdz"
        case $signal in INT) expected=130 ;; TERM) expected=143 ;; HUP) expected=129 ;; KILL) expected=137 ;; esac
        for left in $(temporaries "$folder"); do
            [ "$signal" = KILL ] && cmp -s "$folder/$left" "$work/mod-cleaned.sdz" && rm "$folder/$left"
        done
        need_only "$folder" mod.sdz
        need "run $round ($signal): the archive is neither the old one nor the new one" \
            eval 'cmp -s "$folder/mod.sdz" "$work/mod.sdz" || cmp -s "$folder/mod.sdz" "$work/mod-cleaned.sdz"'
        need "run $round ($signal): exit status $status" eval '[ "$status" = 0 ] || [ "$status" = "$expected" ]'
    done
    need "the cleaned archive is no smaller" [ "$(stat -c %s "$work/mod-cleaned.sdz")" -lt "$(stat -c %s "$work/mod.sdz")" ]
    verdict "$name"
fi

# --- Under Wine: the console's Ctrl+C, the delete-on-close temporary, paths near and past 260
# characters, names as Windows compares them ---------------------------------------------------
name="Ctrl+C in the console stops the run between files (Wine)"
if can wine "$name"; then
    folder="$work/wine-interrupted"
    cp -r "$originals" "$folder" && printf previous >"$work/log"
    wine "$wine_cli" --log "$(winepath -w "$work/log")" "$(winepath -w "$folder")" >/dev/null 2>&1 &
    tool=$!
    # Wine's start-up takes a while; the models show when the run is under way.
    wait_until 60 under_way
    kill -s INT "$tool"
    { wait "$tool"; } 2>/dev/null
    status=$?
    problem=$(interrupted INT "$status")
    need "the run ended before the interrupt (exit status $status)" [ "$status" = 130 ]
    verdict "$name"
fi

name="a save killed outright leaves no temporary: delete-on-close (Wine)"
if can wine "$name"; then
    fresh wine-killed "$chain"
    wine "$wine_cli" --no-log "$(winepath -w "$folder/m.3do")" >/dev/null 2>&1 &
    tool=$!
    need "the save was never seen under way" wait_until 60 saving
    kill -s KILL "$tool"
    { wait "$tool"; } 2>/dev/null
    sleep 1 # the Wine server closes the dead process's handles
    need_only "$folder" m.3do
    need "the model was changed" cmp -s "$chain" "$folder/m.3do"
    verdict "$name"
fi

name="a model whose path is 255 characters cleans (Wine)"
if can wine "$name"; then
    # Grow the folder until the model's Windows path is 255 characters long.
    folder="$work/wine-long" && mkdir -p "$folder"
    pad=$((255 - $(winepath -w "$folder" | wc -L) - 7))
    folder="$folder/$(printf 'p%.0s' $(seq $((pad / 2))))/$(printf 'q%.0s' $(seq $((pad - pad / 2 - 1))))"
    mkdir -p "$folder" && cp "$model" "$folder/m.3do"
    winmodel=$(winepath -w "$folder/m.3do")
    run wine "$wine_cli" --no-log "$winmodel"
    need_exit 0
    need "the path has ${#winmodel} characters" [ "${#winmodel}" = 255 ]
    need "the model was not cleaned" cmp -s "$work/cleaned.3do" "$folder/m.3do"
    need_only "$folder" m.3do
    verdict "$name"
fi
# Past 260 characters: a tree walked from ".", the deep folder named itself, and an output folder as
# deep; each at a depth the 8-bit Windows calls cannot reach.
name="a tree past 260 characters is walked, named as a folder and copied out (Wine)"
if can wine "$name"; then
    folder="$work/wine-deep" && mkdir -p "$folder"
    # winepath stops at 260 characters: the deep Windows paths are built from the folder's.
    winfolder=$(winepath -w "$folder") deep=$folder windeep=$winfolder winout="$winfolder\\out"
    for letter in a b c d e f g h; do
        segment=$(printf "$letter%.0s" $(seq 60))
        deep="$deep/$segment" windeep="$windeep\\$segment" winout="$winout\\$segment"
    done
    out=$folder/out${deep#"$folder"}
    mkdir -p "$deep" && cp "$model" "$deep/m.3do"
    need "the deep folder has only ${#windeep} characters" [ "${#windeep}" -gt 300 ]
    run env -C "$folder" wine "$wine_cli" --no-log -r .
    need_exit 0
    need "the deep model was not cleaned by -r ." cmp -s "$work/cleaned.3do" "$deep/m.3do"
    cp "$model" "$deep/m.3do"
    run wine "$wine_cli" --no-log "$windeep"
    need_exit 0
    need "the deep folder named on the command line was not cleaned" cmp -s "$work/cleaned.3do" "$deep/m.3do"
    cp "$model" "$deep/m.3do"
    run wine "$wine_cli" --no-log -o "$winout" "$windeep\\m.3do"
    need_exit 0
    need "the source was changed by -o" cmp -s "$model" "$deep/m.3do"
    need "no cleaned copy in the deep output folder" cmp -s "$work/cleaned.3do" "$out/m.3do"
    need_only "$deep" m.3do
    verdict "$name"
fi

# Windows takes names that differ only in case for one, in every script, not only A-Z.
name="two outputs whose names differ in Cyrillic case are a usage error (Wine)"
if can wine "$name"; then
    folder="$work/wine-case" && mkdir -p "$folder/a" "$folder/b"
    cp "$model" "$folder/a/Ж.3do" && cp "$model" "$folder/b/ж.3do"
    run env -C "$folder" wine "$wine_cli" --no-log -o out a b
    need_exit 2
    need_said "would both be written to"
    need "the output folder was made" not test -e "$folder/out"
    need "a source was changed" cmp -s "$model" "$folder/a/Ж.3do"
    need "a source was changed" cmp -s "$model" "$folder/b/ж.3do"
    verdict "$name"
fi

# The sources' folder by its short 8.3 name, as the output folder or on the way to an output.
name="an output folder named by the sources' short 8.3 name is a usage error (Wine)"
if can wine "$name"; then
    folder="$work/wine-short" && mkdir -p "$folder/modfolder_longname"
    cp "$model" "$folder/modfolder_longname/m.3do"
    short=$(env -C "$folder" wine cmd /c dir /x 2>/dev/null | tr -d '\r' |
        awk '$NF == "modfolder_longname" && $(NF-1) ~ /~/ { print $(NF-1) }')
    if [ -z "$short" ]; then
        skip "$name" "Wine gives modfolder_longname no short name here"
    else
        run env -C "$folder" wine "$wine_cli" --no-log -o "$short" modfolder_longname
        need_exit 2
        need_said "may not be modfolder_longname"
        run env -C "$folder" wine "$wine_cli" --no-log -o "$short" 'modfolder_longname\m.3do'
        need_exit 2
        need_said "would be written over itself"
        need "the sources were rewritten" cmp -s "$model" "$folder/modfolder_longname/m.3do"
        need_only "$folder/modfolder_longname" m.3do
        verdict "$name ($short)"
    fi
fi
finish
