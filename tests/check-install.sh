#!/usr/bin/env bash
# Installs the build into a fresh prefix and builds the example host against
# it twice, through pkg-config and through find_package(Quarlin), then runs
# both on a corpus stream. Usage: check-install.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name quarlin.pc)")/..
test -f "$prefix/include/quarlin/quarlin.h" && test -f "$prefix/share/man/man1/quarlin.1"
objdump -p "$libdir/libquarlin.so" | grep -q 'SONAME *libquarlin.so.1'
"$prefix/bin/quarlin" --help >/dev/null
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046  # the flags are words
cc -std=c99 -Wall -Wextra -Werror "$root/examples/minimal_host.c" $(pkg-config --cflags --libs quarlin) \
   -Wl,-rpath,"$libdir" -o "$work/with-pkg-config"
cmake -S "$root/examples" -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/example" >/dev/null
stream=$root/tests/data/streams/es-closed-gop.m2v
for host in "$work/with-pkg-config" "$work/example/minimal_host"; do
  "$host" "$stream" 7 "$work/frame.pgm" 2>"$work/log"
  grep -q "frame 7 of 25: 352x288" "$work/log"
  [ "$(head -c 15 "$work/frame.pgm")" = "$(printf 'P5\n352 288\n255')" ]
done
echo "installed: $(cd "$prefix" && find . -type f -o -type l | sort | tr '\n' ' ')"
