#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under Wine
# on a virtual display, then the native sanitizer checks and fuzzers
# (scripts/fuzz.sh), then the iCalendar peer checks through quillmere.exe.
# Usage: scripts/test.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
scripts/setup.sh "$build_dir"
# The CalDAV servers the sync tests start on loopback, and a second client.
source scripts/packages.sh
install_missing python3-radicale xandikos python3-caldav openssl

source scripts/virtual_display.sh
source scripts/low_latency.sh
hold_low_latency
STARTED_XVFB_PID=""
start_virtual_display
prefix="$(pwd)/$build_dir/wine-test-prefix"
cleanup() {
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    [ -n "$STARTED_XVFB_PID" ] && kill "$STARTED_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

cd "$build_dir"
# One test executable at a time: they share the one virtual display, and a
# window of one must not take the focus from a window of another.
ctest --output-on-failure
cd - >/dev/null

# The window-free logic, natively under the sanitizers and the fuzzers.
scripts/fuzz.sh

# The iCalendar peers through the program itself under Wine: its /export read
# by Python's icalendar and calcurse, calcurse's export through its /import.
WINEPREFIX="$prefix" /usr/bin/python3 tests/ical_peers/check_program.py \
    --exe "$build_dir/quillmere.exe" --tool build-native/ical_tool \
    --series-tool build-native/series_tool --wine cmake/wine-test.sh
