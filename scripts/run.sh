#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quillmere under Wine. The
# appointments live in the Wine prefix in the user's data directory, outside
# the build tree. With no display, Quillmere runs on a virtual one and a
# screenshot shows what it looks like.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build

export WINEPREFIX="${QUILLMERE_PREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/quillmere/wineprefix}"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -d "$WINEPREFIX" ]; then
    echo "Creating the Wine prefix that keeps your appointments: $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot --init >/dev/null 2>&1 || true
fi
exe="$(pwd)/build/quillmere.exe"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    # Wine's virtual desktop has a taskbar with a notification area, where
    # Quillmere keeps its icon.
    exec wine explorer /desktop=Quillmere,1024x768 "$exe"
fi

source scripts/virtual_display.sh
STARTED_XVFB_PID=""
start_virtual_display
nohup wine explorer /desktop=Quillmere,1024x768 "$exe" >/dev/null 2>&1 &
sleep 10
shot="${TMPDIR:-/tmp}/quillmere-screenshot.png"
import -window root "$shot"
echo "Quillmere is running on the virtual display $DISPLAY (no display was set)."
echo "Screenshot: $shot"
echo "Another one: DISPLAY=$DISPLAY import -window root shot.png"
echo "Stop it:     WINEPREFIX=$WINEPREFIX wineserver -k; kill $STARTED_XVFB_PID"
