#!/usr/bin/env bash
# Cross-builds Quarlin.dll and quarlin.exe for 32-bit (build-win32/) and
# 64-bit (build-win64/) Windows with Debian's mingw-w64, and with them the
# Windows test programs. Usage: tools/build-windows.sh [win32|win64]...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-$(nproc)}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(win32 win64)
for target in "${targets[@]}"; do
  case $target in
    win32) arch=i686 ;;
    win64) arch=x86_64 ;;
    *) echo "build-windows.sh: unknown target $target (win32 or win64)" >&2; exit 2 ;;
  esac
  echo "== $target build =="
  cmake -S "$root" -B "$root/build-$target" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
    -DQUARLIN_BUILD_BENCH=OFF -DQUARLIN_PNG=OFF >/dev/null
  cmake --build "$root/build-$target" -j"$jobs"
done
