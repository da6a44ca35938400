#!/usr/bin/env bash
# Builds the station and its tests with AddressSanitizer and UndefinedBehaviorSanitizer,
# runs the whole suite with CTest (lab tests need root; without it they say SKIPPED),
# then builds and checks the Debian package (scripts/package-check.sh) and runs the fuzz
# targets briefly. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
brivolte_ensure_deps "${BRIVOLTE_PACKAGE_DEPS[@]}"

jobs=$(nproc)
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DBRIVOLTE_SANITIZE=ON -DBRIVOLTE_TESTS=ON >/dev/null
cmake --build build/test -j"$jobs"
log=build/test/ctest-output.log
set +e
ctest --test-dir build/test --output-on-failure --timeout 600 -j"$jobs" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
total=$(sed -n 's/.*tests passed, [0-9]* tests\{0,1\} failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
failed=$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of.*/\1/p' "$log" | tail -n 1)
skipped=$(grep -c '\*\*\*Skipped' "$log" || true)
total=${total:-0}; failed=${failed:-0}
summary="$((total - failed - skipped)) passed, ${failed} failed, ${skipped} skipped"
[ "$status" -eq 0 ] || { echo "tests: $summary"; exit "$status"; }

scripts/package-check.sh

fuzz_seconds=${BRIVOLTE_FUZZ_SECONDS:-20}
[ "${CI:-}" = "true" ] && fuzz_seconds=${BRIVOLTE_FUZZ_SECONDS:-60}
if [ -x fuzz/run.sh ] && [ "$fuzz_seconds" -gt 0 ]; then
    fuzz/run.sh "$fuzz_seconds"
fi
echo "tests: $summary"
