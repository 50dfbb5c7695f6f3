#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the reference
# comparisons need, when any is missing. Runs apt-get as root (or via sudo).
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config binutils libgtest-dev libgmock-dev libbenchmark-dev
          libpng-dev ffmpeg mjpegtools mpeg2dec python3
          # the Windows builds and Wine to run them; the -m32 build
          mingw-w64 wine wine64 g++-multilib googletest)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -ne 0 ]; then
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# Wine runs the 32-bit Windows tests only with wine32 from the i386
# architecture. Its packages may be missing while a mirror syncs: the tests
# then check the 32-bit DLL's exports only, and the architecture is taken
# out again so that later package updates are not held up by it.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  added=0
  dpkg --print-foreign-architectures | grep -qx i386 || { $sudo dpkg --add-architecture i386 && added=1; } || true
  if ! { $sudo apt-get update -qq && $sudo apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null; }; then
    echo "install-deps: wine32:i386 could not be installed; the 32-bit Windows tests will not run" >&2
    [ "$added" -eq 1 ] && { $sudo dpkg --remove-architecture i386 || true; }
  fi
fi
