#!/usr/bin/env bash
# Runs one test inside a test network of its own: run-in-lab.sh N TEST_BINARY [ARGS...]
#
# Brings up a lab with N simulated elements under a name unique to this run
# (bnms-t<pid>-...), runs the test in its station namespace with the BRIVOLTE_LAB_*
# variables (lab/lab.sh, lab_describe), takes the lab down and returns the test's exit
# status. Without root, iproute2 or network namespaces it prints "SKIPPED: <reason>" and
# exits 77, which CTest reports as skipped. Labs left behind by runs that were killed are
# removed first. The simulator is BRIVOLTE_SIM (set by CTest).
set -uo pipefail

skip() {
    echo "SKIPPED: $*"
    exit 77
}

[ $# -ge 2 ] || { echo "usage: run-in-lab.sh N TEST_BINARY [ARGS...]" >&2; exit 2; }
n=$1
shift

[ "$(id -u)" -eq 0 ] || skip "the test network needs root (network namespaces)"
command -v ip >/dev/null 2>&1 || skip "the ip tool (iproute2) is not installed"
probe="bnms-probe-$$"
if ! ip netns add "$probe" 2>/dev/null; then
    skip "network namespaces cannot be created here"
fi
ip netns del "$probe" 2>/dev/null || true

export BNMS_PREFIX="bnms-t$$-"
export LAB_OWNER=$$
export BRIVOLTE_LAB_LOGS="${BRIVOLTE_LAB_LOGS:-/tmp/bnms-lab/bnms-t$$}"
# Under sudo a test still runs as root: it may need to enter the elements' namespaces.
export BRIVOLTE_LAB_AS_ROOT=1
# shellcheck source=lab.sh
. "$(dirname "$0")/lab.sh"

cleanup() {
    lab_down
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ! lab_up "$n"; then
    echo "run-in-lab: the test network could not be brought up" >&2
    exit 1
fi

rc=0
lab_exec "$@" || rc=$?
if [ "$rc" -ne 0 ]; then
    echo "run-in-lab: test exited with $rc; simulator logs:" >&2
    for f in "$(lab_logs)"/*.log; do
        [ -f "$f" ] || continue
        echo "--- $f (last 30 lines)" >&2
        tail -n 30 "$f" >&2
    done
else
    rm -rf "$(lab_logs)"
fi
exit "$rc"
