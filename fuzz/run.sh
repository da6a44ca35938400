#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address + undefined sanitizers) straight from
# the pure sources and runs each for half of the given seconds. Usage: fuzz/run.sh [SECONDS]
set -euo pipefail

total=${1:-60}
if ! [[ $total =~ ^[0-9]+$ ]] || (( total < 2 )); then
    echo "usage: $0 [SECONDS >= 2]" >&2
    exit 2
fi
per_target=$(( total / 2 ))

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/build/fuzz
cxx=${CXX_FUZZ:-clang++}

if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "fuzz: $cxx not found; install clang and its libFuzzer runtime (libclang-rt-dev)" >&2
    exit 1
fi
if ! qt_flags=$(pkg-config --cflags --libs Qt6Core 2>/dev/null); then
    echo "fuzz: pkg-config cannot find Qt6Core (install qt6-base-dev)" >&2
    exit 1
fi

mkdir -p "$out"
flags=(-std=c++17 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -I"$root/src")

build() {
    local name=$1; shift
    echo "fuzz: building $name"
    # shellcheck disable=SC2086  # qt_flags holds several words on purpose
    if ! "$cxx" "${flags[@]}" -o "$out/$name" "$root/fuzz/$name.cpp" "$@" $qt_flags; then
        echo "fuzz: building $name failed (is libclang-rt-dev installed for libFuzzer?)" >&2
        exit 1
    fi
}

build fuzz_feedback \
    "$root/src/protocol/Feedback.cpp" "$root/src/protocol/ConfigCommand.cpp" \
    "$root/src/store/TextHelpers.cpp"
build fuzz_status \
    "$root/src/diagnostics/StatsRecord.cpp" "$root/src/diagnostics/LevelBlock.cpp" \
    "$root/src/sfn/StatusRecord.cpp" "$root/src/sfn/DelayResponse.cpp" \
    "$root/src/store/TextHelpers.cpp"

# Seeds: a valid encoder and decoder message, a status record and a level block.
seeds=$out/seeds
rm -rf "$seeds"
mkdir -p "$seeds/feedback" "$seeds/status"
fixed='\x0a\x00\x00\x05\xff\xff\xff\x00\x0a\x00\x00\x01\xef\x01\x01\x01\x01\x01\x01STUDIO A        '
printf "${fixed}"'\x01\x00\x00\x04\xd2\x03\x01\x01\x05\x01' > "$seeds/feedback/encoder45"
printf "${fixed}"'\x02\x00\x00\x04\xd2\x0c\x03\x01\x01\x05\x02\x1e\x09\x00\x00\x00\x00\x00\x01' \
    > "$seeds/feedback/decoder54"
printf 'ZENTORAL QUORVANE PAGING REQUEST' > "$seeds/feedback/paging"
{ printf '\x09'; head -c 60 /dev/zero | tr '\0' '\1'; printf '\x01'; } > "$seeds/status/record61"
{ printf '\x09'; printf '\x40\x00\x00'; head -c 1198 /dev/zero; } > "$seeds/status/level1201"

status=0
for name in fuzz_feedback fuzz_status; do
    corpus=$out/corpus/$name
    mkdir -p "$corpus"
    case $name in
        fuzz_feedback) seed=$seeds/feedback ;;
        fuzz_status) seed=$seeds/status ;;
    esac
    echo "fuzz: running $name for ${per_target}s"
    if ! (cd "$out" && "./$name" -max_total_time="$per_target" -max_len=2048 \
            -print_final_stats=1 "$corpus" "$seed" > "$out/$name.log" 2>&1); then
        echo "fuzz: $name FAILED; see $out/$name.log and the crash-* file in $out" >&2
        tail -n 40 "$out/$name.log" >&2
        status=1
    else
        grep -E '^stat::number_of_executed_units' "$out/$name.log" || true
    fi
done
exit $status
