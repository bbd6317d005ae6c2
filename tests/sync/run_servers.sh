#!/usr/bin/env bash
# Starts Debian's Radicale (with htpasswd authentication) and Xandikos on free
# loopback ports with scratch folders, the fault proxy in front of Radicale
# (plain and with a self-signed TLS certificate), and runs the sync suite of
# sync_tests.exe against them under Wine; the interop check runs Python's
# caldav library before and after. Everything it started is stopped at the
# end, whatever happens.
# Usage: run_servers.sh path/to/sync_tests.exe path/to/wine-test.sh
set -euo pipefail
tests_exe=$1
wine_test=$2
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3

# Everything here is on loopback: no proxy a machine may name applies.
export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost

scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

free_port() {
    "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}
wait_for_port() { # port name: at most 30 s
    local i
    for i in $(seq 1 60); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then
            return 0
        fi
        sleep 0.5
    done
    echo "$2 did not start on port $1" >&2
    cat "$scratch/$2.log" >&2 || true
    return 1
}

radicale_port=$(free_port)
xandikos_port=$(free_port)
proxy_port=$(free_port)
tls_port=$(free_port)
user=anna
password="pw-$RANDOM$RANDOM-$(date +%N)"
printf '%s:%s\n' "$user" "$password" >"$scratch/users"

"$python" -m radicale --server-hosts "127.0.0.1:$radicale_port" \
    --storage-filesystem-folder "$scratch/radicale" --auth-type htpasswd \
    --auth-htpasswd-filename "$scratch/users" --auth-htpasswd-encryption plain \
    --auth-delay 0 >"$scratch/radicale.log" 2>&1 &
pids+=($!)
xandikos -d "$scratch/xandikos" --defaults -l 127.0.0.1 -p "$xandikos_port" \
    >"$scratch/xandikos.log" 2>&1 &
pids+=($!)
tls_args=()
if command -v openssl >/dev/null; then
    openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -days 2 \
        -keyout "$scratch/key.pem" -out "$scratch/cert.pem" >/dev/null 2>&1
    tls_args=(--tls-port "$tls_port" --cert "$scratch/cert.pem" --key "$scratch/key.pem")
fi
"$python" "$here/fault_proxy.py" --port "$proxy_port" --upstream "127.0.0.1:$radicale_port" \
    "${tls_args[@]}" >"$scratch/proxy.log" 2>&1 &
pids+=($!)
wait_for_port "$radicale_port" radicale
wait_for_port "$xandikos_port" xandikos
wait_for_port "$proxy_port" proxy

export QM_SYNC_RADICALE_URL="http://127.0.0.1:$radicale_port/"
export QM_SYNC_RADICALE_USER=$user
export QM_SYNC_RADICALE_PASSWORD=$password
export QM_SYNC_XANDIKOS_URL="http://127.0.0.1:$xandikos_port/"
export QM_SYNC_PROXY_URL="http://127.0.0.1:$proxy_port/"
if [ ${#tls_args[@]} -gt 0 ]; then
    wait_for_port "$tls_port" proxy
    export QM_SYNC_TLS_URL="https://127.0.0.1:$tls_port/"
fi

# An event written by another client, for the interop test to edit.
"$python" "$here/interop.py" seed

status=0
# QM_SYNC_FILTER runs a part of the suite (a GoogleTest filter).
"$wine_test" "$tests_exe" --gtest_color=no \
    --gtest_filter="${QM_SYNC_FILTER:-Servers.*:Faults.*:Transport.*:Interop.*:Commands.*}" ||
    status=$?
# What the other client reads after Quillmere's edit.
if [ $status -eq 0 ]; then
    "$python" "$here/interop.py" check || status=$?
fi
exit $status
