#!/bin/bash
# Tests the release artefacts as their users get them: makes them with scripts/release.sh, unzips the
# Windows zip into a fresh folder and cleans sample models with its scourvane-cli.exe under Wine,
# unpacks the Debian package into a fresh root and cleans with its scourvane-cli, runs lintian on the
# package and renders its manual page.
source "$(dirname "$0")/lib.sh"
cd "$root" || exit 1
version=$(sed -nE 's/^project\(scourvane VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
scripts/release.sh >build/release.log 2>&1 || { tail -n 30 build/release.log && give_up "scripts/release.sh failed"; }
zip="dist/3do-scourvane-$version-windows-x64.zip"
deb="dist/scourvane-cli_$version-1_amd64.deb"
check "the artefacts carry the project version $version in their names" test -f "$zip" -a -f "$deb"
[ -f "$zip" ] && [ -f "$deb" ] || finish
work_folder release

# cleans_all FOLDER TOOL...: the tool, run in FOLDER on sample models of which one is named in
# Cyrillic and one in Chinese, cleans all four and names them right (UTF-8) in log.txt.
cleans_all() {
    local log=$1/log.txt
    mkdir -p "$1" && build/release-native/tools/scourvane-make-samples "$1/models" >/dev/null &&
        mv "$1/models/tank.3do" "$1/models/танк.3do" && mv "$1/models/rig.3do" "$1/models/坦克.3do" &&
        (cd "$1" && "${@:2}" models >/dev/null 2>&1)
    grep -q "4 out of 4 files cleaned successfully" "$log" && grep -q "танк.3do" "$log" && grep -q "坦克.3do" "$log"
}

# -- the zip, under Wine ---------------------------------------------------------------------------
wine_prefix
unzip -q "$zip" -d "$work/zip"
folder="$work/zip/3do-scourvane-$version-windows-x64"
check "the zip holds LICENSE, README.txt, scourvane-cli.exe and scourvane.exe" \
    test "$(ls "$folder" | tr '\n' ' ')" = "LICENSE README.txt scourvane-cli.exe scourvane.exe "
check "README.txt has Windows line ends" grep -q $'\r$' "$folder/README.txt"
check "the zipped scourvane-cli.exe says version $version" \
    test "$(wine "$folder/scourvane-cli.exe" --version 2>/dev/null | tr -d '\r')" = "scourvane-cli $version"
for exe in scourvane.exe scourvane-cli.exe; do
    check "$exe carries the version resource $version.0 and the UTF-8, long-path manifest" \
        bash -c "strings -el '$folder/$exe' | grep -qx '$version.0' &&
                 strings '$folder/$exe' | grep -q 'activeCodePage.*UTF-8' &&
                 strings '$folder/$exe' | grep -q 'longPathAware.*true'"
done
check "the zipped scourvane-cli.exe cleans models named in any language under Wine" \
    cleans_all "$work/win" wine "$folder/scourvane-cli.exe"
check "its JSON report names version $version" grep -q "\"version\":\"$version\"" \
    <(cd "$work/win" && wine "$folder/scourvane-cli.exe" --json --no-log models 2>/dev/null)

# -- the Debian package ----------------------------------------------------------------------------
dpkg -x "$deb" "$work/root"
tool="$work/root/usr/bin/scourvane-cli"
check "the package installs /usr/bin/scourvane-cli" test -x "$tool"
check "the installed scourvane-cli says version $version" test "$("$tool" --version)" = "scourvane-cli $version"
check "the installed scourvane-cli cleans models named in any language" cleans_all "$work/deb" "$tool"
doc="$work/root/usr/share/doc/scourvane-cli"
check "README and licence are in /usr/share/doc/scourvane-cli" test -f "$doc/README.md" -a -f "$doc/copyright"
errors=$(lintian "$deb" 2>/dev/null | grep '^E:')
[ -z "$errors" ] || echo "$errors"
check "lintian finds no errors in the package" test -z "$errors"
page="$work/root/usr/share/man/man1/scourvane-cli.1.gz"
check "man -l renders the manual page without warnings" bash -c "MANWIDTH=80 man --warnings -l '$page' 2>'$work/man.err' |
    grep -q 'scourvane-cli - clean 3DO model files' && [ ! -s '$work/man.err' ]"
finish
