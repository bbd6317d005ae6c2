#!/usr/bin/env bash
# Installs what building and running Quillmere on Debian needs, then builds it.
# Usage: scripts/setup.sh [build-dir [cmake options...]]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
          binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev googletest wine wine64
          python3-radicale xandikos python3-caldav vdirsyncer openssl
          fonts-wine fonts-liberation xvfb xauth x11-utils imagemagick xdotool util-linux nsis)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi

build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build_dir"
