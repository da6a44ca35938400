#!/usr/bin/env bash
# Builds the benchmarks (RelWithDebInfo, no sanitizers) in build/bench and prints their
# figures: the element database (bench_store), Load_Config over 1000 elements and, as
# root, discovery of 100 simulated elements in a test network of its own
# (bench_discovery), the event log (bench_eventlog), and the audio level monitor against
# a loopback encoder (bench_level).
#
#   bench/run.sh [LEVEL_SECONDS]
#
# Figures depend on the machine and on what else runs on it; nothing here is a test.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/bench
level_seconds=${1:-5}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIVOLTE_SANITIZE=OFF \
    -DBRIVOLTE_TESTS=OFF >/dev/null || exit 1
cmake --build "$build" -j"${BENCH_JOBS:-2}" \
    --target bench_store bench_discovery bench_level bench_eventlog brivolte-element-sim >/dev/null || exit 1
export BRIVOLTE_SIM=$build/brivolte-element-sim

failed=0
section() { printf '\n== %s\n' "$*"; }
check() { # exit status, name
    case "$1" in
        0 | 77) ;;
        *) echo "$2 exited with $1"; failed=1 ;;
    esac
}

section "bench_store: element database, 1000 elements"
"$build/bench/bench_store"
check $? bench_store

section "bench_eventlog: handler, ring, log file and the window's table"
"$build/bench/bench_eventlog"
check $? bench_eventlog

section "bench_discovery load: Load_Config, 1000 elements"
"$build/bench/bench_discovery" load
check $? "bench_discovery load"

section "bench_discovery discovery: 100 simulated elements in the test network"
if [ "$(id -u)" -eq 0 ]; then
    "$root/lab/run-in-lab.sh" 100 "$build/bench/bench_discovery" discovery
    check $? "bench_discovery discovery"
else
    echo "SKIPPED: needs root for the lab"
fi

section "bench_level: audio level monitor at 1 ms, loopback encoder, ${level_seconds} s"
"$build/bench/bench_level" "$level_seconds"
check $? bench_level

exit $failed
