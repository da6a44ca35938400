#!/usr/bin/env bash
# Builds the station and starts it. With --lab N it first brings up the test network with
# N simulated elements, runs the station inside the lab's station namespace (so discovery
# finds them) and takes the lab down when the station exits. Other arguments go to the
# station (GPS or LL).
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
brivolte_ensure_deps

lab=0
args=()
while [ $# -gt 0 ]; do
    case "$1" in
        --lab) lab=${2:?--lab needs a number of elements}; shift 2 ;;
        *) args+=("$1"); shift ;;
    esac
done

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIVOLTE_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
station=build/release/brivolte-nms
# A normal user pings through a raw socket only with CAP_NET_RAW.
if [ "$(id -u)" -eq 0 ]; then setcap cap_net_raw+ep "$station" 2>/dev/null || true; fi

if [ "$lab" -gt 0 ]; then
    exec lab/lab.sh station "$lab" "$PWD/$station" "${args[@]}"
fi
exec "$station" "${args[@]}"
