#!/usr/bin/env bash
# Builds the release and the ASan+UBSan configurations and runs the whole
# suite in both, then a ThreadSanitizer build of the concurrency tests
# (sessions on several threads, the slice workers). Installs the Debian
# packages it needs first.
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
