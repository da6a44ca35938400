#!/usr/bin/env bash
# Builds the benchmarks (Release, no sanitizers) in build/rel and prints their figures:
# the element database (bench_store), Load_Config's listing and start-up to a filled tree
# over 5000 elements (bench_discovery load, bench_startup), the event log (bench_eventlog), as root a table of
# discoveries of 300, 1000 and 2000 simulated elements on one wire (lab crowd mode),
# answers spread over 2.5 s or all at once, elements asking for the station's address
# first or not, and the audio level monitor against a loopback encoder (bench_level).
#
#   bench/run.sh [LEVEL_SECONDS]          BENCH_SIZES="300 1000 2000" to choose sizes
#
# Discovery columns: stored (sections in nms.ini when the 3 s window closed), last (ms
# from the broadcast to the last stored element), cpu (station's processor time during the
# run, ms), fsyncs, rss (peak memory, MB), stall (longest gap between two ticks of a 10 ms
# timer on the station's event loop, ms). Run as root from the host's namespace, the lab
# raises the kernel's neighbour-table limits for the run (lab/lab.sh --help); elsewhere a
# crowd above about 1000 meets the kernel's default ceiling. Figures depend on the machine
# and on what else runs on it; nothing here is a test.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/rel
level_seconds=${1:-5}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRIVOLTE_SANITIZE=OFF \
    -DBRIVOLTE_TESTS=ON >/dev/null || exit 1
cmake --build "$build" -j"${BENCH_JOBS:-2}" \
    --target bench_store bench_discovery bench_startup bench_level bench_eventlog brivolte-element-sim >/dev/null || exit 1
export BRIVOLTE_SIM=$build/brivolte-element-sim
export QT_QPA_PLATFORM=offscreen

failed=0
section() { printf '\n== %s\n' "$*"; }
check() { # exit status, name
    case "$1" in
        0 | 77) ;;
        *) echo "$2 exited with $1"; failed=1 ;;
    esac
}
# UDP 2976 in a namespace of its own when there is one to be had (other stations may hold it).
isolated() {
    if [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
        unshare -n sh -c 'ip link set lo up && exec "$@"' isolated "$@"
    else
        "$@"
    fi
}

section "bench_store: element database, 1000 elements"
"$build/bench/bench_store"
check $? bench_store

section "bench_eventlog: handler, ring, log file and the window's table"
"$build/bench/bench_eventlog"
check $? bench_eventlog

section "bench_discovery load: Load_Config's listing, 5000 elements"
"$build/bench/bench_discovery" load 5000
check $? "bench_discovery load"

section "bench_startup: start-up to a filled tree, 5000 elements"
isolated "$build/bench/bench_startup" 5000
check $? bench_startup

section "bench_discovery discovery: one wire of simulated elements ($(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg))"
if [ "$(id -u)" -eq 0 ]; then
    logs=$build/bench-logs
    mkdir -p "$logs"
    printf '%6s %7s %4s | %7s %7s %6s %6s %6s %7s\n' elements answers ask stored last cpu fsyncs rss stall
    for n in ${BENCH_SIZES:-300 1000 2000}; do
        for spread in 2500 0; do
            for ask in yes no; do
                log=$logs/discovery-$n-$spread-$ask.log
                BRIVOLTE_LAB_CROWD=1 BRIVOLTE_LAB_SPREAD=$spread BRIVOLTE_LAB_ASK=$ask \
                    "$root/lab/run-in-lab.sh" "$n" "$build/bench/bench_discovery" discovery >"$log" 2>&1
                check $? "bench_discovery discovery $n (log $log)"
                read -r _ total stored last cpu fsyncs rss stall < <(grep '^figures:' "$log" | tail -n 1)
                printf '%6s %7s %4s | %7s %7s %6s %6s %6s %7s\n' "$n" \
                    "$([ "$spread" = 0 ] && echo at-once || echo "${spread}ms")" "$ask" \
                    "${stored:-?}/${total:-$n}" "${last:-?}" "${cpu:-?}" "${fsyncs:-?}" "${rss:-?}" "${stall:-?}"
            done
        done
    done
    echo "goal: 2000/2000 stored with answers over 2.5 s, stall under 100 ms (full output in $logs)"
else
    echo "SKIPPED: needs root for the lab"
fi

section "bench_level: audio level monitor at 1 ms, loopback encoder, ${level_seconds} s"
isolated "$build/bench/bench_level" "$level_seconds"
check $? bench_level

exit $failed
