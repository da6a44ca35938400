#!/bin/sh
# Runs tst_platform_lab inside a namespace joined to a second one by a veth pair.
# Both namespaces are this script's own and are removed on every exit; nothing is
# configured in the namespace the script was started from.
# Exit 77 (skipped) without root or network namespaces.

probe=${1:?usage: tst_platform_lab.sh <tst_platform_lab binary>}
net=10.231.77

if [ "$(id -u)" != 0 ]; then
    echo "SKIPPED: creating network namespaces needs root"
    exit 77
fi
if ! command -v ip >/dev/null 2>&1; then
    echo "SKIPPED: the ip command (iproute2) is not installed"
    exit 77
fi

A="bnmsarp-$$-a"
B="bnmsarp-$$-b"
cleanup() {
    ip netns del "$A" 2>/dev/null
    ip netns del "$B" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

if ! ip netns add "$A" 2>/dev/null; then
    echo "SKIPPED: ip netns add failed (no network namespaces here)"
    exit 77
fi

fail() {
    echo "FAILED to set up the namespaces: $*"
    exit 1
}
step() {
    "$@" || fail "$*"
}

step ip netns add "$B"
for ns in "$A" "$B"; do
    # No IPv6 chatter: the test counts the packets our interface sends.
    step ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 \
        net.ipv6.conf.default.disable_ipv6=1
    step ip -n "$ns" link set lo up
done
# Created inside A with its peer moved straight into B.
step ip -n "$A" link add veth-a type veth peer name veth-b netns "$B"
step ip -n "$A" addr add "$net.1/24" dev veth-a
step ip -n "$B" addr add "$net.2/24" dev veth-b
step ip -n "$A" link set veth-a up
step ip -n "$B" link set veth-b up
step ip -n "$A" route add 10.231.78.0/24 via "$net.2"
# Let every group open ICMP datagram sockets in A, so both socket kinds are tried.
step ip netns exec "$A" sysctl -qw net.ipv4.ping_group_range="0 2147483647"

own_mac=$(ip -n "$A" -br link show veth-a | awk '{print $3}')
peer_mac=$(ip -n "$B" -br link show veth-b | awk '{print $3}')
[ -n "$own_mac" ] && [ -n "$peer_mac" ] || fail "no MAC addresses"
step ip -n "$A" neigh flush all

ip netns exec "$A" env BNMS_LAB_NET="$net" BNMS_LAB_IFACE=veth-a \
    BNMS_LAB_OWN_MAC="$own_mac" BNMS_LAB_PEER_MAC="$peer_mac" "$probe"
