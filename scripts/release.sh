#!/bin/sh
# Makes the release artefacts into dist/, from clean Release builds without the tests:
#   dist/3do-scourvane-VERSION-windows-x64.zip   scourvane.exe, scourvane-cli.exe, README.txt, LICENSE
#   dist/scourvane-cli_VERSION-1_amd64.deb       the Linux command-line tool, its manual page and docs
# The version is the one of the project() line in CMakeLists.txt.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/bootstrap.sh release

package() {
    preset=$1
    build="build/release-$preset"
    rm -rf "$build/packages"
    cmake --preset "$preset" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSCOURVANE_TESTS=OFF \
        -DSCOURVANE_WERROR=ON >/dev/null
    cmake --build "$build" -j2
    (cd "$build" && cpack >/dev/null)
    cp "$build"/packages/*.zip "$build"/packages/*.deb dist/ 2>/dev/null || true
}

mkdir -p dist
rm -f dist/*.zip dist/*.deb
package windows
package native
ls -l dist
