#!/usr/bin/env bash
# Installs what building and running Quillmere on Debian needs, then builds it.
# Usage: scripts/setup.sh [build-dir [cmake options...]]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/packages.sh
install_missing cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev googletest wine wine64 \
    fonts-wine fonts-liberation xvfb xauth x11-utils imagemagick xdotool util-linux nsis

build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build_dir"
