#!/usr/bin/env bash
# Builds and runs the benchmark under Wine and prints one markdown table:
# median, min and max of several runs of each measure beside its floor, the
# ratios, and PASS or MISS per target.
# Usage: scripts/bench.sh [build-dir] [runs]    (defaults: build-bench, 5)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-bench}
runs=${2:-5}
# The benchmark needs only the program and itself, not the test suite.
scripts/setup.sh "$build_dir" -DQUILLMERE_TESTS=OFF >/dev/null
source scripts/packages.sh
install_missing remind >/dev/null

source scripts/virtual_display.sh
source scripts/low_latency.sh
hold_low_latency
STARTED_XVFB_PID=""
start_virtual_display
build_abs="$(pwd)/$build_dir"
# The benchmark's own prefix: its HKEY_LOCAL_MACHINE gets the workloads, so it
# is never a user's prefix.
export WINEPREFIX="$build_abs/wine-bench-prefix"
work="$build_abs/bench-work"
mkdir -p "$work"
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$STARTED_XVFB_PID" ] && kill "$STARTED_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

driver="$build_abs/bench/bench_driver.exe"
repo="$(pwd)"
# Wine's note that its 32-bit half is not installed says nothing about a
# 64-bit benchmark; the driver's own messages pass.
wine_run() {
    "$repo/cmake/wine-test.sh" "$@" 2> >(grep --line-buffered -v -E 'wine32|multiarch|add-architecture' >&2)
}

# The peer, natively: remind listing today's reminders from the same
# appointments written as date ranges.
sizes=(1000 10000 50000)
: >"$work/peer.txt"
cd "$work"
for n in "${sizes[@]}"; do
    wine_run "$driver" --write-remind "$n" "remind-$n.rem"
    times=()
    remind -q "remind-$n.rem" >/dev/null  # warm the cache, as the others are
    for _ in $(seq 1 "$runs"); do
        t0=$(date +%s%N)
        remind -q "remind-$n.rem" >/dev/null
        t1=$(date +%s%N)
        times+=("$(( (t1 - t0) / 1000 ))")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk -v n="$n" '
        { v[NR] = $1 / 1000.0 }
        END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
              printf "%d %.3f %.3f %.3f\n", n, m, v[1], v[NR] }' >>"$work/peer.txt"
done

cpu=$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')
load=$(cut -d' ' -f1-3 /proc/loadavg)
echo
echo "Machine: $cpu, $(nproc) cores, $(wine --version 2>/dev/null), load average before the run: $load"
echo "Idle CPUs held ready (0 µs PM QoS request): $LOW_LATENCY_HELD"
echo "Runs per measure: $runs (median, min-max)"
echo
# The driver's warnings (a scan that missed a change, a launch that failed)
# come after the table: Wine's server keeps the error stream open after the
# driver ends, so a filter on it would hold them back until the server goes.
wine_run "$driver" --runs "$runs" --peer peer.txt 2>"$work/driver-messages.txt"
wineserver -w
if grep -v -E 'wine32|multiarch|add-architecture' "$work/driver-messages.txt" >"$work/driver-warnings.txt"; then
    echo
    echo "Driver messages:"
    cat "$work/driver-warnings.txt"
fi
echo
echo "Load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
