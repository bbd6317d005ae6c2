#!/usr/bin/env bash
# Runs one Windows test executable under Wine, in the private test prefix named
# by WINEPREFIX (never the user's own). The prefix is made once, under a lock,
# so that parallel test runs do not race to create it.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
export WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}

mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/.quillmere-ready" ]; then
        wineboot --init >/dev/null 2>&1 || true
        # Without a window manager Wine waits for one on every hide of a
        # top-level window; unmanaged windows make the window tests fast.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.quillmere-ready"
    fi
) 9>"$WINEPREFIX.lock"

exec wine "$@"
