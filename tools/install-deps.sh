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
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
