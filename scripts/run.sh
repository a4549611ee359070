#!/bin/sh
# Builds the native tools (once), writes fresh sample models and cleans them with scourvane-cli.
# The report goes to build/run/log.txt and to the terminal.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ -x scripts/bootstrap.sh ]; then
    scripts/bootstrap.sh
fi

build=build/native
if [ ! -f "$build/build.ninja" ]; then
    cmake --preset native >/dev/null
fi
cmake --build "$build" --target scourvane-cli scourvane-make-samples -j2 >/dev/null

run=build/run
rm -rf "$run/samples"
mkdir -p "$run"
"$build/tools/scourvane-make-samples" "$run/samples"

cd "$run"
echo "Cleaning the samples in $root/$run/samples (report: $root/$run/log.txt)"
"$root/$build/cli/scourvane-cli" samples
