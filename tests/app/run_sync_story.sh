#!/usr/bin/env bash
# Starts Debian's Radicale with htpasswd authentication on a free loopback
# port with a scratch folder, runs the main window's sync story of
# app_tests.exe against it under Wine, and stops Radicale after, whatever
# happens.
# Usage: run_sync_story.sh path/to/app_tests.exe path/to/wine-test.sh
set -euo pipefail
tests_exe=$1
wine_test=$2
python=/usr/bin/python3
export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost

scratch=$(mktemp -d)
pid=
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
user=ruth
password="pw-$RANDOM$RANDOM"
printf '%s:%s\n' "$user" "$password" >"$scratch/users"
"$python" -m radicale --server-hosts "127.0.0.1:$port" \
    --storage-filesystem-folder "$scratch/radicale" --auth-type htpasswd \
    --auth-htpasswd-filename "$scratch/users" --auth-htpasswd-encryption plain \
    --auth-delay 0 >"$scratch/radicale.log" 2>&1 &
pid=$!
for i in $(seq 1 60); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        break
    fi
    if [ "$i" = 60 ]; then
        echo "radicale did not start on port $port" >&2
        cat "$scratch/radicale.log" >&2
        exit 1
    fi
    sleep 0.5
done

export QM_SYNC_RADICALE_URL="http://127.0.0.1:$port/"
export QM_SYNC_RADICALE_USER=$user
export QM_SYNC_RADICALE_PASSWORD=$password
"$wine_test" "$tests_exe" --gtest_color=no --gtest_filter='SyncTimingTest.Story*'
