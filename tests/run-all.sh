#!/usr/bin/env bash
# Builds the release and the ASan+UBSan configurations and runs the whole
# suite in both, then a ThreadSanitizer build of the concurrency tests
# (sessions on several threads, the slice workers), then a 32-bit (-m32)
# build of the library's suite, then Quarlin.dll for 32- and 64-bit Windows
# with their tests under Wine and the Windows tool's output checked against
# the Linux tool's. Installs the Debian packages it needs first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"
jobs=$(nproc)
# run NAME "CMAKE OPTIONS" "BUILD TARGETS (all when empty)" "CTEST REGEX (all when empty)"
run() {
  local name=$1 options=$2 targets=$3 only=$4
  local dir="$root/build-$name"
  echo "== $name build =="
  # Tests are always on here, whatever an earlier configuration said.
  # shellcheck disable=SC2086  # option and target lists are words
  cmake -S "$root" -B "$dir" -G Ninja -DQUARLIN_BUILD_TESTS=ON $options >/dev/null
  # shellcheck disable=SC2086
  cmake --build "$dir" -j"$jobs" ${targets:+--target $targets}
  echo "== $name tests =="
  ctest --test-dir "$dir" --output-on-failure --no-tests=error -j"$jobs" ${only:+-R "$only"}
}
run release "-DCMAKE_BUILD_TYPE=Release" "" ""
run sanitize "-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARLIN_SANITIZE=ON -DQUARLIN_BUILD_BENCH=OFF" "" ""
run thread "-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARLIN_SANITIZE=thread -DQUARLIN_BUILD_BENCH=OFF" \
  "api_tests decode_dispatch_tests" "ConcurrentSessions|ThreadedDecode|WorkerPool"
run m32 "-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$root/cmake/toolchain-linux-i686.cmake \
  -DQUARLIN_GOOGLETEST_SOURCE=/usr/src/googletest -DQUARLIN_BUILD_BENCH=OFF -DQUARLIN_PNG=OFF \
  -DQUARLIN_SKIP_TEST_AREAS=tools" "" ""

JOBS=$jobs "$root/tools/build-windows.sh" win32 win64
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# wine_tests NAME: the build's tests under Wine (its prefix made once, in the
# build folder), and its tool against the Linux tool on the corpus.
wine_tests() {
  echo "== $1 tests under Wine =="
  [ -d "$root/build-$1/wine-prefix" ] || WINEPREFIX="$root/build-$1/wine-prefix" wineboot -i >/dev/null 2>&1
  ctest --test-dir "$root/build-$1" --output-on-failure --no-tests=error
  "$root/tests/windows/wine-matches-linux.sh" "$root/build-release/tools/commands/quarlin" "$root/build-$1"
}
wine_tests win64
# Wine runs 32-bit programs only with the wine32:i386 package.
if [ -x /usr/lib/wine/wine ]; then
  wine_tests win32
else
  ctest --test-dir "$root/build-win32" --output-on-failure --no-tests=error -R DllExportsAndImports
  echo "win32: Quarlin.dll built and its exports checked; not run: Wine has no 32-bit support here (wine32:i386 not installed)"
fi

