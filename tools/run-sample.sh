#!/usr/bin/env bash
# Builds the library and the quarlin tool, then makes a contact sheet of the
# bundled sample and prints its description.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"
# A build folder of its own: the test command's folders keep their tests.
build="$root/build-sample"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARLIN_BUILD_TESTS=OFF \
  -DQUARLIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target quarlin_tool
sample="$root/tests/data/streams/${1:-ts-mp2-audio.ts}"
"$build/tools/commands/quarlin" thumbs "$sample" -o "$root/sample-sheet.png"
"$build/tools/commands/quarlin" info "$sample"
echo "contact sheet: $root/sample-sheet.png"
