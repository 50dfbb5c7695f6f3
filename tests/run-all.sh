#!/usr/bin/env bash
# Builds the release and the ASan+UBSan configurations and runs the whole
# suite in both. Installs the Debian packages it needs first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"
jobs=$(nproc)
run() {
  local name=$1
  shift
  local dir="$root/build-$name"
  echo "== $name build =="
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "== $name tests =="
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}
run release -DCMAKE_BUILD_TYPE=Release
run sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARLIN_SANITIZE=ON -DQUARLIN_BUILD_BENCH=OFF
