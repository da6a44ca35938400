#!/usr/bin/env bash
# Builds the station and its tests with AddressSanitizer and UndefinedBehaviorSanitizer,
# runs the whole suite with CTest (lab tests need root; without it they say SKIPPED),
# then runs the fuzz targets briefly. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
brivolte_ensure_deps

jobs=$(nproc)
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DBRIVOLTE_SANITIZE=ON -DBRIVOLTE_TESTS=ON >/dev/null
cmake --build build/test -j"$jobs"
ctest --test-dir build/test --output-on-failure --timeout 600 -j"$jobs"

fuzz_seconds=${BRIVOLTE_FUZZ_SECONDS:-20}
[ "${CI:-}" = "true" ] && fuzz_seconds=${BRIVOLTE_FUZZ_SECONDS:-60}
if [ -x fuzz/run.sh ] && [ "$fuzz_seconds" -gt 0 ]; then
    fuzz/run.sh "$fuzz_seconds"
fi
