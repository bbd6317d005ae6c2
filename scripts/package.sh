#!/usr/bin/env bash
# Installs what is missing, builds Quillmere and its installer with Debian's
# NSIS, and prints where the installer is and how large it is.
# Usage: scripts/package.sh [build-dir]    (default: build-package)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-package}
# The installer needs only the program and its helper, not the tests.
scripts/setup.sh "$build_dir" -DQUILLMERE_TESTS=OFF -DQUILLMERE_BENCH=OFF >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
setup="$build_dir/Quillmere-$version-setup.exe"
echo "Installer: $(pwd)/$setup ($(stat -c %s "$setup") bytes)"
echo "Silent installation: Quillmere-<version>-setup.exe /S; removal: uninstall.exe /S"
