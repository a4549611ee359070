#!/bin/sh
# Installs the Debian packages the project needs, and nothing when they are all there.
#   scripts/bootstrap.sh          what the run command needs (native build)
#   scripts/bootstrap.sh test     also what the tests need (Windows cross build, Wine, X, fuzzing,
#                                 the fault and hostile-file suites)
#   scripts/bootstrap.sh release  also what making the release artefacts needs (scripts/release.sh)
#   scripts/bootstrap.sh bench    also what the benchmarks need
#   scripts/bootstrap.sh art      also what redrawing the artwork needs (tools/art/make_art.py)
set -eu

packages="cmake ninja-build g++ googletest zlib1g-dev"
case "${1:-}" in
test)
    packages="$packages g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64 fonts-wine
              xvfb xauth xdotool x11-utils imagemagick clang libclang-rt-14-dev python3
              strace time e2fsprogs util-linux mount dpkg-dev lintian man-db unzip
              libx11-dev libz-mingw-w64-dev zip 7zip libarchive-tools"
    ;;
release)
    packages="$packages g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 dpkg-dev libz-mingw-w64-dev"
    ;;
bench)
    packages="$packages libbenchmark-dev libmeshoptimizer-dev strace time valgrind"
    ;;
art)
    packages="$packages imagemagick fonts-dejavu-core python3"
    ;;
esac

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
    *" installed") ;;
    *) missing="$missing $package" ;;
    esac
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" != 0 ]; then
    echo "Run as root (or install these with sudo apt-get install):$missing" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq $missing >/dev/null
