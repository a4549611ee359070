#!/usr/bin/env bash
# Builds the benchmarks (build/bench, Release, native) and prints every figure next to its yardstick,
# measured in the same run. Results also go to build/bench/results.txt.
#
#   scripts/bench.sh            everything (a few minutes)
#   scripts/bench.sh --quick    the quadratic merge on a subset of the vertexes, extrapolated
#
# Needs: cmake, ninja, g++, libmeshoptimizer-dev, strace, time (/usr/bin/time); `scripts/bootstrap.sh
# bench` installs them.
# SCOURVANE_CORPUS_DIR picks the folder of real models (default ../shared/corpus/taprime).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/bench"
corpus="${SCOURVANE_CORPUS_DIR:-$root/../shared/corpus/taprime}"
rounds=3
chunk=125
merge_args=()
if [[ "${1:-}" == "--quick" ]]; then
    merge_args=(--subset 8192)
elif [[ $# -gt 0 ]]; then
    echo "usage: scripts/bench.sh [--quick]" >&2
    exit 2
fi

for tool in cmake ninja strace /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
[[ -d "$corpus" ]] || { echo "bench: no corpus at $corpus" >&2; exit 1; }
corpus="$(cd "$corpus" && pwd)"

# ---- build ----
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" --preset native -B "$build" -DCMAKE_BUILD_TYPE=Release -DSCOURVANE_TESTS=OFF \
        -DSCOURVANE_WERROR=OFF >/dev/null
fi
cmake --build "$build" -j2 --target scourvane-bench scourvane-io-floor scourvane-verify-cost scourvane-cli \
    scourvane-archive-bench >/dev/null
bench="$build/bench/scourvane-bench"
floor="$build/bench/scourvane-io-floor"
cli="$build/cli/scourvane-cli"
work="$build/work"
results="$build/results.txt"
rm -rf "$work"
mkdir -p "$work"

exec > >(tee "$results") 2>&1

# Nanoseconds on the monotonic clock.
now() { date +%s%N; }

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# A writable copy of the corpus, flushed so that its own dirty pages do not land on the run timed next.
fresh_copy() {
    rm -rf "$1"
    cp -r "$corpus" "$1"
    chmod -R u+w "$1"
    sync
}

# The corpus spread over DEST/00, DEST/01, ... of $chunk files each, writable and flushed.
split_copy() {
    rm -rf "$1"
    mkdir -p "$1"
    local list="$work/list.txt" n i
    find "$corpus" -maxdepth 1 -type f -iname '*.3do' | sort >"$list"
    n=$(wc -l <"$list")
    for ((i = 0; i * chunk < n; ++i)); do
        mkdir -p "$1/$(printf %02d "$i")"
        sed -n "$((i * chunk + 1)),$(((i + 1) * chunk))p" "$list" | xargs -d '\n' cp -t "$1/$(printf %02d "$i")"
    done
    chmod -R u+w "$1"
    sync
}

echo "== Machine"
echo "date:     $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "commit:   $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
echo "cpu:      $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), nproc $(nproc)"
echo "memory:   $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "kernel:   $(uname -r); filesystem of build/: $(df -T "$build" | awk 'NR == 2 { print $2 }')"
echo "compiler: $(g++ --version | sed -n 1p), Release (-O3)"
echo "corpus:   $corpus ($(find "$corpus" -maxdepth 1 -type f | wc -l) files, $(du -sb "$corpus" | cut -f1) bytes)"
echo

echo "== 1"
"$bench" pipeline "$corpus"
echo

echo "== 2"
echo "2. Whole batch: scourvane-cli --no-log DIR on two workers (-j 2) and on one (-j 1) against the"
echo "   I/O floor (one thread reads, writes a temporary file, fsyncs, renames: scourvane-io-floor DIR),"
echo "   and for the record the floor plus a flush of the folder after every rename (--sync-folder)."
echo "   Fresh copies of the corpus, cut into folders of $chunk files that the four programs take in"
echo "   turn, so that all four see the same load on a shared disk."
programs=(cli cli-j1 floor floor+folder)
declare -A total=([cli]=0 [cli-j1]=0 [floor]=0 [floor+folder]=0)
ratios=()
ratios1=()
for ((round = 0; round < rounds; ++round)); do
    for which in "${programs[@]}"; do split_copy "$work/$which"; done
    for chunk_dir in "$work/cli"/*/; do
        name=$(basename "$chunk_dir")
        declare -A took=()
        for ((k = 0; k < ${#programs[@]}; ++k)); do
            which=${programs[(round + k + 10#$name) % ${#programs[@]}]}
            start=$(now)
            case $which in
                cli) "$cli" -j 2 --no-log "$work/cli/$name" >/dev/null || { echo "bench: scourvane-cli failed" >&2; exit 1; } ;;
                cli-j1) "$cli" -j 1 --no-log "$work/cli-j1/$name" >/dev/null || { echo "bench: scourvane-cli failed" >&2; exit 1; } ;;
                floor) "$floor" "$work/floor/$name" >/dev/null ;;
                floor+folder) "$floor" --sync-folder "$work/floor+folder/$name" >/dev/null ;;
            esac
            took[$which]=$(( $(now) - start ))
            total[$which]=$(( total[$which] + took[$which] ))
        done
        ratios+=("$(awk -v c="${took[cli]}" -v f="${took[floor]}" 'BEGIN { print c / f }')")
        ratios1+=("$(awk -v c="${took[cli-j1]}" -v f="${took[floor]}" 'BEGIN { print c / f }')")
    done
done
files=$(find "$corpus" -maxdepth 1 -type f -iname '*.3do' | wc -l)
paired=$(printf '%s\n' "${ratios[@]}" | median)
paired1=$(printf '%s\n' "${ratios1[@]}" | median)
awk -v c="${total[cli]}" -v c1="${total[cli-j1]}" -v f="${total[floor]}" -v d="${total[floor+folder]}" -v n="$files" \
    -v r="$rounds" -v p="$paired" -v p1="$paired1" -v pairs="${#ratios[@]}" 'BEGIN {
    c /= r * 1e6; c1 /= r * 1e6; f /= r * 1e6; d /= r * 1e6
    printf "   per run of %d files: cli -j 2 %.0f ms, cli -j 1 %.0f ms, floor %.0f ms, floor+folder %.0f ms\n", n, c, c1, f, d
    printf "   (%.2f, %.2f, %.2f, %.2f ms per file)\n", c / n, c1 / n, f / n, d / n
    printf "   cli -j 2 / floor: %.2f over the %d rounds (median of %d paired folders: %.2f); cli -j 2 / floor+folder: %.2f\n",
        c / f, r, pairs, p, c / d
    printf "   cli -j 1 / floor: %.2f over the %d rounds (median of %d paired folders: %.2f)\n", c1 / f, r, pairs, p1
    printf "   goal -j 2 at most 0.95 times the one-thread floor -> goal %s\n", c / f <= 0.95 ? "holds" : "MISSED"
    printf "   goal -j 1 at most 1.15 times the floor (no slower than before) -> goal %s\n", c1 / f <= 1.15 ? "holds" : "MISSED"
}'

# System calls of a run over a single file: the same count for any size means no per-byte calls.
syscalls() {
    strace -f -c -o "$work/strace.txt" "$cli" --no-log "$1" >/dev/null
    awk '$NF == "total" { total = $4 }
         $NF ~ /^(read|write|openat|close|fsync|rename)$/ { io += $4 }
         $NF ~ /^(mmap|munmap|brk|mremap)$/ { memory += $4 }
         $NF == "read" { r = $4 } $NF == "write" { w = $4 }
         END { printf "%d calls: %d on files (read %d, write %d), %d for memory", total, io, r, w, memory }' "$work/strace.txt"
}
fresh_copy "$work/one"
small=$(ls -S "$work/one" | tail -1)
large=$(ls -S "$work/one" | sed -n 1p)
"$bench" make-model "$work/large.3do" 100 >/dev/null
echo "   system calls of one run over one file (strace -c -f, process start included):"
echo "     smallest corpus file, $(stat -c %s "$work/one/$small") bytes: $(syscalls "$work/one/$small")"
echo "     largest corpus file, $(stat -c %s "$work/one/$large") bytes: $(syscalls "$work/one/$large")"
echo "     synthetic model, $(stat -c %s "$work/large.3do") bytes: $(syscalls "$work/large.3do")"
mkdir -p "$work/solo" "$work/ten"
cp "$work/one/$small" "$work/solo/0.3do"
for i in 0 1 2 3 4 5 6 7 8 9; do cp "$work/one/$small" "$work/ten/$i.3do"; done
one_file=$(syscalls "$work/solo" | cut -d' ' -f1)
ten_files=$(syscalls "$work/ten" | cut -d' ' -f1)
echo "     a folder of 1 file: $one_file calls; of 10 files: $ten_files calls;" \
    "$(( (ten_files - one_file) / 9 )) calls per added file"
echo

echo "== 6"
"$build/bench/scourvane-verify-cost" "$corpus" "$cli"
echo

echo "== 3"
"$bench" merge "${merge_args[@]}"
echo

echo "== 4"
"$bench" peer
echo

echo "== 5"
echo "5. Peak resident memory of scourvane-cli (/usr/bin/time -v, Maximum resident set size)"
peak_kb() {
    /usr/bin/time -v -o "$work/time.txt" "$cli" --no-log "$1" >/dev/null
    awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt"
}
fresh_copy "$work/cli"
corpus_kb=$(peak_kb "$work/cli")
awk -v k="$corpus_kb" 'BEGIN {
    printf "   corpus run: %.1f MB (goal under 16 MB: %.2f of it) -> goal %s\n", k / 1024, k / 16384,
        k < 16384 ? "holds" : "MISSED" }'
"$bench" make-model "$work/large.3do" 100 >/dev/null
large_bytes=$(stat -c %s "$work/large.3do")
large_kb=$(peak_kb "$work/large.3do")
awk -v k="$large_kb" -v b="$large_bytes" 'BEGIN {
    r = k * 1024 / b
    printf "   synthetic model of %.1f MB: %.1f MB = %.2f times its size (goal at most 2) -> goal %s\n",
        b / 1e6, k * 1024 / 1e6, r, r <= 2 ? "holds" : "MISSED" }'

echo

echo "== 6"
echo "6. Chains of a million empty parts (as siblings, and each the child of the one before):"
echo "   scourvane-cli --no-log on each, elapsed time and peak resident memory (/usr/bin/time)"
for shape in sibling child; do
    "$bench" make-chain "$work/chain-$shape.3do" "$shape"
    chain_bytes=$(stat -c %s "$work/chain-$shape.3do")
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$cli" --no-log "$work/chain-$shape.3do" >/dev/null
    read -r seconds kb <"$work/time.txt"
    awk -v s="$seconds" -v k="$kb" -v b="$chain_bytes" -v shape="$shape" 'BEGIN {
        printf "   %s chain, %.1f MB: %.2f s, %.1f MB (goal within 1 s and 256 MB) -> goal %s\n", shape,
            b / 1e6, s, k / 1024, (s <= 1 && k <= 262144) ? "holds" : "MISSED" }'
done

echo
echo "== 7"
echo "7. Archives, in place, median of 5 fresh copies each:"
echo "   a .sdz of the corpus plus 5 MB of other files against a plain copy of it plus deflating only"
echo "   its changed models (level 9); a TA archive of the corpus (LZ77) against reading it whole"
mkdir -p "$work/clean" && cp "$corpus"/* "$work/clean/" && chmod -R u+w "$work/clean" &&
    "$cli" --no-log -q "$work/clean" >/dev/null
python3 - "$corpus" "$work/clean" "$work/mod.sdz" "$work/changed.txt" <<'PY'
import os, random, sys, zipfile
corpus, cleaned, out, changed = sys.argv[1:]
names = sorted(n for n in os.listdir(corpus) if n.lower().endswith(".3do"))
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for n in names:
        z.write(os.path.join(corpus, n), "objects3d/" + n)
    z.writestr("unittextures/noise.bmp", random.Random(7).randbytes(5 << 20))
with open(changed, "w") as f:
    for n in names:
        if open(os.path.join(corpus, n), "rb").read() != open(os.path.join(cleaned, n), "rb").read():
            f.write(os.path.join(cleaned, n) + "\n")
PY
archive_bench="$build/bench/scourvane-archive-bench"
"$archive_bench" make-hpi "$corpus" "$work/mod.hpi"
floor=() tool=() read=() hpi=() hpi_cpu=()
for round in 1 2 3 4 5; do
    sync
    # The floor: the copy timed here, the deflating timed inside Python (its start-up left out).
    start=$(now) && cp "$work/mod.sdz" "$work/copy.sdz" && end=$(now)
    deflate=$(python3 -c 'import sys, time, zlib
data = [open(p, "rb").read() for p in open(sys.argv[1]).read().split()]
start = time.perf_counter_ns()
for d in data:
    c = zlib.compressobj(9, zlib.DEFLATED, -15); c.compress(d); c.flush()
print((time.perf_counter_ns() - start) // 1000)' "$work/changed.txt")
    floor+=($(((end - start) / 1000 + deflate)))
    cp "$work/mod.sdz" "$work/run.sdz" && sync
    start=$(now) && "$cli" --no-log -q "$work/run.sdz" >/dev/null && end=$(now)
    tool+=($(((end - start) / 1000)))
    read+=($("$archive_bench" read "$work/mod.hpi"))
    cp "$work/mod.hpi" "$work/run.hpi" && sync
    start=$(now) && /usr/bin/time -f "%U %S" -o "$work/time.txt" "$cli" --no-log -q "$work/run.hpi" >/dev/null &&
        end=$(now)
    hpi+=($(((end - start) / 1000)))
    hpi_cpu+=($(awk '{ printf "%d", ($1 + $2) * 1000000 }' "$work/time.txt"))
done
f=$(printf '%s\n' "${floor[@]}" | median) t=$(printf '%s\n' "${tool[@]}" | median)
r=$(printf '%s\n' "${read[@]}" | median) h=$(printf '%s\n' "${hpi[@]}" | median)
c=$(printf '%s\n' "${hpi_cpu[@]}" | median)
awk -v f="$f" -v t="$t" -v r="$r" -v h="$h" -v c="$c" -v s="$(stat -c %s "$work/mod.sdz")" -v z="$(stat -c %s "$work/mod.hpi")" 'BEGIN {
    printf "   .sdz of %.1f MB: %.0f ms against a floor of %.0f ms = %.2f (goal at most 1.3) -> goal %s\n",
        s / 1e6, t / 1000, f / 1000, t / f, t <= 1.3 * f ? "holds" : "MISSED"
    printf "   TA archive of %.1f MB: %.0f ms against reading it whole in %.0f ms = %.2f (goal at most 1.5) -> goal %s\n",
        z / 1e6, h / 1000, r, h / 1000 / r, h / 1000 <= 1.5 * r ? "holds" : "MISSED"
    printf "   (of which on the processor %.0f ms = %.2f; the rest waits for the flush to disk that every\n", c / 1000, c / 1000 / r
    printf "   save makes before its rename)\n" }'

rm -rf "$work"
echo
echo "(results saved in build/bench/results.txt)"
