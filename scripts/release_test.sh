#!/bin/bash
# Tests the release artefacts as their users get them: makes them with scripts/release.sh, unzips the
# Windows zip into a fresh folder and cleans sample models with its scourvane-cli.exe under Wine,
# unpacks the Debian package into a fresh root and cleans with its scourvane-cli, runs lintian on the
# package and renders its manual page. Last line: "N passed, M failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"

passed=0
failed=0
ok() { passed=$((passed + 1)); echo "PASS $1"; }
bad() { failed=$((failed + 1)); echo "FAIL $1"; }
check() { local name=$1; shift; if "$@"; then ok "$name"; else bad "$name"; fi; }
finish() { echo "$passed passed, $failed failed"; [ "$failed" = 0 ]; exit $?; }

version=$(sed -nE 's/^project\(scourvane VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
if ! scripts/release.sh >build/release.log 2>&1; then
    tail -n 30 build/release.log
    bad "scripts/release.sh makes the artefacts"
    finish
fi
zip="dist/3do-scourvane-$version-windows-x64.zip"
deb="dist/scourvane-cli_$version-1_amd64.deb"
check "the artefacts carry the project version $version in their names" test -f "$zip" -a -f "$deb"
[ -f "$zip" ] && [ -f "$deb" ] || finish

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
samples="build/release-native/tools/scourvane-make-samples"

# Sample models, one of them named in Cyrillic and one in Chinese, in a folder of their own.
models() {
    "$samples" "$1" >/dev/null && mv "$1/tank.3do" "$1/танк.3do" && mv "$1/rig.3do" "$1/坦克.3do"
}
# A run that cleaned all four models and named them right (UTF-8) in log.txt.
cleaned_all() {
    local log=$1/log.txt
    [ -f "$log" ] && grep -q "4 out of 4 files cleaned successfully" "$log" && grep -q "танк.3do" "$log" &&
        grep -q "坦克.3do" "$log"
}

# -- the zip, under Wine ---------------------------------------------------------------------------
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
unzip -q "$zip" -d "$work/zip"
folder="$work/zip/3do-scourvane-$version-windows-x64"
listing=$(cd "$folder" && ls | sort | tr '\n' ' ')
check "the zip holds LICENSE, README.txt, scourvane-cli.exe and scourvane.exe" \
    test "$listing" = "LICENSE README.txt scourvane-cli.exe scourvane.exe "
check "README.txt has Windows line ends" grep -q $'\r$' "$folder/README.txt"
out=$(cd "$folder" && wine ./scourvane-cli.exe --version 2>/dev/null | tr -d '\r')
check "the zipped scourvane-cli.exe says version $version" test "$out" = "scourvane-cli $version"
for exe in scourvane.exe scourvane-cli.exe; do
    check "$exe carries the version resource $version.0 and the UTF-8, long-path manifest" \
        bash -c "strings -el '$folder/$exe' | grep -qx '$version.0' &&
                 strings '$folder/$exe' | grep -q 'activeCodePage.*UTF-8' &&
                 strings '$folder/$exe' | grep -q 'longPathAware.*true'"
done
mkdir -p "$work/win"
models "$work/win/models"
(cd "$work/win" && wine "$folder/scourvane-cli.exe" models >/dev/null 2>&1)
check "the zipped scourvane-cli.exe cleans models named in any language under Wine" cleaned_all "$work/win"
json=$(cd "$work/win" && wine "$folder/scourvane-cli.exe" --json --no-log models 2>/dev/null)
check "its JSON report names version $version" grep -q "\"version\":\"$version\"" <<<"$json"

# -- the Debian package ----------------------------------------------------------------------------
dpkg -x "$deb" "$work/root"
tool="$work/root/usr/bin/scourvane-cli"
check "the package installs /usr/bin/scourvane-cli" test -x "$tool"
check "the installed scourvane-cli says version $version" test "$("$tool" --version)" = "scourvane-cli $version"
mkdir -p "$work/deb"
models "$work/deb/models"
(cd "$work/deb" && "$tool" models >/dev/null 2>&1)
check "the installed scourvane-cli cleans models named in any language" cleaned_all "$work/deb"
doc="$work/root/usr/share/doc/scourvane-cli"
check "README and licence are in /usr/share/doc/scourvane-cli" test -f "$doc/README.md" -a -f "$doc/copyright"
errors=$(lintian "$deb" 2>/dev/null | grep '^E:')
[ -z "$errors" ] || echo "$errors"
check "lintian finds no errors in the package" test -z "$errors"
page="$work/root/usr/share/man/man1/scourvane-cli.1.gz"
renders() {
    MANWIDTH=80 man --warnings -l "$page" >"$work/man.out" 2>"$work/man.err" &&
        grep -q "scourvane-cli - clean 3DO model files" "$work/man.out" && [ ! -s "$work/man.err" ]
}
check "man -l renders the manual page without warnings" renders

finish
