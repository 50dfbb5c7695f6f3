#!/usr/bin/env bash
# The Windows build under Wine against the Linux build, on every corpus
# stream: `quarlin index` and `quarlin decode` give the same exit status,
# the same seek data and the same Y4M bytes. Then a path with non-ASCII
# characters decodes like its ASCII twin, and a file that cannot be opened
# fails as on Linux. Usage: wine-matches-linux.sh LINUX_QUARLIN WINDOWS_BUILD_DIR
# (Wine's prefix lives in WINDOWS_BUILD_DIR/wine-prefix).
set -euo pipefail
linux=$(realpath "$1")
build=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
work=$(mktemp -d "$build/wine-run.XXXXXX")
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
# The tool finds Quarlin.dll beside it.
cp "$build/bin/quarlin.exe" "$build/bin/Quarlin.dll" "$work/"
windows=$work/quarlin.exe
wineserver -p 2>/dev/null || true  # one server for every run below (or the one still running)
cd "$root/tests/data/streams"

failures=0
fail() {
  echo "MISMATCH $*"
  failures=$((failures + 1))
}
# check NAME COMMAND...: the exit status of the command on both systems,
# and every output file (named with the system's prefix) byte for byte.
check() {
  local name=$1 outputs=$2
  shift 2
  local linuxStatus=0 windowsStatus=0
  "$linux" "$@" -q -o "$work/linux.$outputs" 2>"$work/linux.err" || linuxStatus=$?
  wine "$windows" "$@" -q -o "$work/windows.$outputs" 2>"$work/windows.err" || windowsStatus=$?
  if [ "$linuxStatus" != "$windowsStatus" ]; then
    fail "$name: exit status $linuxStatus on Linux, $windowsStatus under Wine"
    # What each said, so that a failure seen once in CI leaves its cause.
    # (sed alone: a head that closes the pipe early would end the script under pipefail)
    sed -n '1,20s/^/  linux: /p' "$work/linux.err"
    sed -n '1,20s/^/  wine: /p' "$work/windows.err"
  fi
  if [ -e "$work/linux.$outputs" ] || [ -e "$work/windows.$outputs" ]; then
    cmp -s "$work/linux.$outputs" "$work/windows.$outputs" || fail "$name: $* writes different bytes"
  fi
  rm -f "$work/linux.$outputs" "$work/windows.$outputs" "$work/linux.err" "$work/windows.err"
}

streams=0
while IFS=$'\t' read -r file _; do
  [ "$file" = file ] && continue
  check "$file" seek index "$file"
  check "$file" y4m decode "$file"
  streams=$((streams + 1))
done <"$root/tests/data/corpus.tsv"

# A non-ASCII path: the UTF-16 path reaches CreateFileW unchanged.
unicode="$work/Vidéo ünïcode 日本語 ☃.m2v"
cp es-closed-gop.m2v "$unicode"
"$linux" decode es-closed-gop.m2v -q -o "$work/linux.y4m"
wine "$windows" decode "$unicode" -q -o "$work/windows.y4m" || fail "non-ASCII path: decode failed"
cmp -s "$work/linux.y4m" "$work/windows.y4m" || fail "non-ASCII path: different bytes"

# Files that cannot be opened: a missing one and a directory.
for missing in "$work/missing.m2v" "$work"; do
  status=0
  message=$(wine "$windows" info "$missing" 2>&1 >/dev/null) || status=$?
  [ "$status" = 1 ] && [[ "$message" == *"cannot open"* ]] || fail "$missing: status $status, \"$message\""
done

echo "wine: $streams corpus streams indexed and decoded, non-ASCII path, unopenable files: $failures mismatches"
[ "$failures" -eq 0 ]
