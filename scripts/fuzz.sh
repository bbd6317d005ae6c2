#!/usr/bin/env bash
# Builds the window-free logic natively with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, runs its checks, then runs each fuzzer for a
# bounded time from the seed corpus in fuzz/corpus, and checks an iCalendar
# export against calcurse and Python's icalendar. Fails on any finding.
# Usage: scripts/fuzz.sh [build-dir] [seconds per fuzzer]   (default: build-native 20)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/packages.sh
install_missing clang libclang-rt-14-dev cmake ninja-build pkg-config libical-dev calcurse \
    python3-icalendar python3-dateutil

build_dir=${1:-build-native}
seconds=${2:-20}
CC=clang CXX=clang++ cmake -S fuzz -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build_dir"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$build_dir/native_checks"
"$build_dir/sync_native_tests" --gtest_brief=1
"$build_dir/alert_native_tests" --gtest_brief=1
"$build_dir/series_native_tests" --gtest_brief=1
"$build_dir/search_native_tests" --gtest_brief=1
# Our iCalendar reader against libical's on every seed file.
"$build_dir/ical_oracle_fuzzer" -runs=0 fuzz/corpus/ical_import >"$build_dir/oracle_seeds.log" 2>&1 ||
    { tail -n 30 "$build_dir/oracle_seeds.log"; exit 1; }
echo "seed corpus, $(grep '^oracle:' "$build_dir/oracle_seeds.log")"

# The fuzzers add what they find to a scratch copy of the corpus, never to the
# tree; an input that breaks a property is kept in the build directory.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
findings="$build_dir/findings"
mkdir -p "$findings"
status=0
# The libical oracle reads the import fuzzer's corpus.
corpus_of() { [ "$1" = ical_oracle ] && echo ical_import || echo "$1"; }
for name in date_text value_decoding reminder_rules text_conversion ical_import ical_export \
        recurrence ical_oracle xml_reader timed_values alert_schedule series repeat_choice \
        event_touch; do
    mkdir -p "$scratch/$name"
    rm -f "$findings/$name-"*
    cp fuzz/corpus/$(corpus_of $name)/* "$scratch/$name/"
    log="$findings/$name.log"
    if "$build_dir/${name}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$findings/$name-" -max_len=4096 \
            "$scratch/$name" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "fuzzer $name: ${runs:-?} runs in ${seconds} s, no finding"
        grep '^oracle:' "$log" | tail -n 1 || true
    else
        status=1
        echo "fuzzer $name FOUND A FAULT:"
        tail -n 60 "$log"
        for f in "$findings/$name-"*; do
            [ -e "$f" ] && { echo "input ($f):"; od -A d -c "$f" | head -20; }
        done
    fi
done
# The peers: an export read by Python's icalendar and through calcurse.
if ! "$build_dir/ical_tool" sample "$scratch/peer_sample.ics" ||
        ! /usr/bin/python3 tests/ical_peers/check_peers.py --tool "$build_dir/ical_tool" \
            "$scratch/peer_sample.ics"; then
    status=1
    echo "iCalendar peer checks FAILED"
fi
# Repeating appointments' occurrences against python-dateutil's, date for
# date: 10,000 random rules over ten years.
if ! /usr/bin/python3 tests/ical_peers/check_series.py --tool "$build_dir/series_tool"; then
    status=1
    echo "the occurrence engine's check against python-dateutil FAILED"
fi
exit $status
