# What every test script shares, sourced by each: the cases and their verdicts, the closing line
# "N passed, M failed" (exit status 0 only when nothing failed), stages that add up the counts of the
# scripts they run, a work folder removed on exit, builds of a preset and Wine prefixes.
# shellcheck shell=bash
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
passed=0 failed=0 failures="" problem="" status=""

# --- A case: run the program, state what must hold, give the verdict -------------------------------
# run COMMAND...: sets status; standard output and error go to $work/out and $work/err.
run() {
    "$@" >"$work/out" 2>"$work/err"
    status=$?
}
# need WHY COMMAND...: one expectation of the case under way. Runs COMMAND unless an earlier one
# already failed; when COMMAND fails, WHY becomes the case's problem.
need() {
    local why=$1
    shift
    [ -n "$problem" ] || "$@" || problem=$why
}
not() { ! "$@"; }
need_exit() { need "exit status $status, expected $1: $(head -c 300 "$work/err")" [ "$status" = "$1" ]; }
# need_said TEXT [FILE]: FILE (default the standard error of the last run) holds TEXT.
need_said() {
    local file=${2:-$work/err}
    need "no \"$1\" in ${file##*/}: $(tr -d '\r' <"$file" 2>/dev/null | tail -c 300)" grep -qF -- "$1" "$file"
}
# need_only FOLDER NAME...: FOLDER holds nothing but the NAMEs.
need_only() {
    local folder=$1 names=() name extra
    shift
    for name; do names+=(-e "$name"); done
    extra=$(ls -A "$folder" | grep -vxF "${names[@]}" | tr '\n' ' ')
    need "left behind: $extra" [ -z "$extra" ]
}
# verdict NAME [PROBLEM]: counts one check, passed when PROBLEM (default: what need gathered) is
# empty, and starts the next case afresh.
verdict() {
    local why=${2-$problem}
    problem=""
    if [ -z "$why" ]; then
        passed=$((passed + 1))
        echo "PASS $1"
    else
        failed=$((failed + 1))
        echo "FAIL $1: $why"
    fi
}
# check NAME COMMAND...: a case that passes when COMMAND succeeds.
check() {
    local name=$1
    shift
    if "$@"; then verdict "$name" ""; else verdict "$name" "failed"; fi
}
# skip NAME REASON: a case this machine cannot set up; it counts neither way.
skip() { echo "SKIP $1: $2"; }
# finish: the closing line, and the exit with status 0 only when nothing failed.
finish() {
    [ -z "$failures" ] || echo "Failed:$failures"
    echo "$passed passed, $failed failed"
    [ "$failed" = 0 ]
    exit
}
# give_up WHY: the script cannot go on (a build that fails, a tool that is missing): one failure.
give_up() {
    echo "$1" >&2
    failed=$((failed + 1))
    finish
}

# stage NAME COMMAND...: runs a part of the tests, its output kept in build/logs/NAME.log, and adds
# its counts: ctest's "X tests failed out of N" or the last "N passed, M failed". A stage that prints
# neither is one check; one that exits non-zero has failed at least once.
stage() {
    local name=$1 log="$root/build/logs/$1.log" line p=0 f=0
    shift
    mkdir -p "${log%/*}"
    echo "== $name"
    "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    line=$(grep -E 'tests failed out of [0-9]+$|^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
    if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
        f=${BASH_REMATCH[1]} p=$((BASH_REMATCH[2] - BASH_REMATCH[1]))
    elif [[ $line =~ ^([0-9]+)\ passed,\ ([0-9]+) ]]; then
        p=${BASH_REMATCH[1]} f=${BASH_REMATCH[2]}
    elif [ "$status" = 0 ]; then
        p=1
    fi
    [ "$status" = 0 ] || [ "$f" != 0 ] || f=1
    passed=$((passed + p)) failed=$((failed + f))
    [ "$f" = 0 ] || failures="$failures $name"
    echo "== $name: $p passed, $f failed"
}

# --- Set-up ---------------------------------------------------------------------------------------
# built FOLDER PRESET TARGET...: configures FOLDER with the preset's settings when it has no build
# yet (PRESET empty: the caller configured it) and builds the targets; their output only on failure.
built() {
    local folder=$1 preset=$2 log
    shift 2
    log=$(mktemp)
    { [ -f "$folder/CMakeCache.txt" ] || cmake --preset "$preset" -B "$folder"; } >"$log" 2>&1 &&
        cmake --build "$folder" -j2 --target "$@" >>"$log" 2>&1 || { tail -n 40 "$log"; rm -f "$log"; return 1; }
    rm -f "$log"
}
# work_folder NAME: $work, a new folder removed on exit, the file systems mounted in $mounts first.
mounts=()
work_folder() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/scourvane-$1.XXXXXX") || exit 1
    chmod 755 "$work"
    trap remove_work EXIT
}
remove_work() {
    # A child forked for a command can be signalled before it execs it, and then runs this trap too.
    [ "$BASHPID" = "$$" ] || return
    local mount
    for mount in "${mounts[@]}"; do umount "$mount" 2>/dev/null; done
    rm -rf "$work"
}
# wait_until SECONDS COMMAND...: polls COMMAND every tenth of a second until it succeeds; fails when
# SECONDS pass first.
wait_until() {
    local looks=$(($1 * 10))
    shift
    until "$@"; do
        ((--looks > 0)) || return 1
        sleep 0.1
    done
}
# wine_prefix: makes $WINEPREFIX a Wine prefix unless it is one: no Mono or Gecko prompts, Wine's own
# fonts in it (some packagings do not find them: the caption buttons and Tahoma fall back to other
# faces) and, as no window manager runs, Wine draws the window frames itself.
wine_prefix() {
    [ -f "$WINEPREFIX/system.reg" ] && return
    WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i >/dev/null 2>&1 || return 1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
    local font
    for font in {/usr/share/wine,/usr/lib/wine,/opt/wine-stable/share/wine}/fonts/{marlett,tahoma,tahomabd}.ttf; do
        [ -f "$font" ] && cp -n "$font" "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    done
    return 0
}
