#!/usr/bin/env bash
# The test network: simulated elements and a station namespace on a bridge of their own.
#
#   lab/lab.sh up N [--topology L]   bring up N simulated elements (1..4000)
#   lab/lab.sh down                  stop the simulators, delete the lab's namespaces
#   lab/lab.sh exec CMD [ARGS...]    run CMD inside the station namespace
#   lab/lab.sh station N BIN [ARGS]  up N, run the station BIN inside, down when it exits
#   lab/lab.sh status                what is up
#
# Layout: the bridge br0 lives in a namespace of its own (bnms-lan), so the host's network
# is never touched: nothing is created, moved or routed in the host's namespace, and there
# is no uplink. The station namespace (bnms-station, 10.77.0.1/24 on lan0) has its default
# route on the bridge, so a broadcast to 255.255.255.255 leaves through lan0 and stays in
# the lab. Element k lives in bnms-elk (10.77.0.(10+k)/24 on eth0, hardware address
# 02:77:00:00:00:kk) and runs brivolte-element-sim with --interface eth0, so ARP, ICMP and
# a configuration command that changes its address are all real. Odd elements are encoders
# named "STUDIO k", even ones decoders named "SITE k" with SFN on.
# Above 16 elements (or with BRIVOLTE_LAB_PACKED=1) the elements share one namespace
# (bnms-pack, interfaces eth1..ethN, one address and hardware address each, ARP answered
# per interface) and two simulator processes (--count): light enough for 100 elements.
# Above 200 elements (or with BRIVOLTE_LAB_CROWD=1) they share one wire instead: one
# interface eth0 without an address in bnms-crowd, on which two simulator processes
# (--wire) answer ARP, ping and UDP for every element's address from its own hardware
# address (02:77:01:00:HH:LL); the station gets 10.77.0.1/20 and element k
# 10.77.0.0 + 10 + k, up to 4000 elements in seconds. BRIVOLTE_LAB_ASK=no makes these
# elements answer without asking for the station's address first (the station resolves
# every one itself); BRIVOLTE_LAB_SPREAD=MS spreads their paging answers over MS
# (default 2500, 0: all at once). The kernel's neighbour table is shared by every
# namespace (net.ipv4.neigh.default.gc_thresh1/2/3, 128/512/1024 by default): when the
# lab runs in the host's namespace, up raises gc_thresh2/3 to hold the crowd (N + 512,
# 2N + 1024) and down puts back the values it found, unless something changed them since.
# Elsewhere (a test under unshare -n) they cannot be changed and stay as they are.
#
# Site shapes (BRIVOLTE_LAB_TOPOLOGY, a comma list, or lab.sh up N --topology LIST):
#   nogateway  the station has no default route (a laptop on the link's switch alone)
#   office     the station's default route goes out a second interface, office0
#              (10.78.0.1/24), to a namespace with no elements (Wi-Fi or office LAN);
#              lan0 keeps only its own subnet
#   foreign    the last element has an address outside every subnet of the station
#              (10.66.0.x/24, as a factory default), on the same segment, and reaches
#              the station by an on-link route
#   landown    the station's element interface lan0 is down
# The station drops no answers by source address (rp_filter 0), as elements off its
# subnets need.
#
# Environment: BRIVOLTE_SIM (simulator binary; else build/{release,test,dev}),
# BRIVOLTE_LAB_LOGS (simulator logs, default /tmp/bnms-lab/<lab>), BRIVOLTE_LAB_AS_ROOT=1
# (under sudo, keep root for exec/station instead of the calling user),
# BRIVOLTE_LAB_SIM_ARGS (extra simulator options for every element).
# Needs root and iproute2; from a desktop session keep the display with sudo -E
# (sudo -E ./run.sh --lab 4). Commands run by exec see BRIVOLTE_LAB_* variables describing
# the lab (see lab_describe).

LAB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
LAB_ROOT=$(dirname "$LAB_DIR")
# Every name of this lab starts with the prefix; test runs use their own (bnms-t<pid>-).
: "${BNMS_PREFIX:=bnms-}"
LAB_STATE_BASE=/run/bnms-lab
LAB_SUBNET=10.77.0
LAB_STATION_IP=10.77.0.1
LAB_MAX=200
LAB_CROWD_MAX=4000
LAB_NEIGH=/proc/sys/net/ipv4/neigh/default
LAB_FOREIGN_SUBNET=10.66.0
LAB_OFFICE_IP=10.78.0.1

lab_name() { local p=${BNMS_PREFIX%-}; echo "${p:-bnms}"; }
lab_state() { echo "$LAB_STATE_BASE/$(lab_name)"; }
lab_logs() { echo "${BRIVOLTE_LAB_LOGS:-/tmp/bnms-lab/$(lab_name)}"; }
lab_ns() { echo "${BNMS_PREFIX}$1"; }

lab_say() { echo "lab: $*" >&2; }

lab_need_root() {
    if [ "$(id -u)" -ne 0 ]; then
        lab_say "the test network needs root (network namespaces); try: sudo $0 $*"
        return 1
    fi
    if ! command -v ip >/dev/null 2>&1; then
        lab_say "the ip tool (iproute2) is missing"
        return 1
    fi
}

lab_find_sim() {
    if [ -n "${BRIVOLTE_SIM:-}" ]; then
        [ -x "$BRIVOLTE_SIM" ] && { echo "$BRIVOLTE_SIM"; return 0; }
        lab_say "BRIVOLTE_SIM=$BRIVOLTE_SIM is not an executable"
        return 1
    fi
    local d f
    for d in build/release build/test build/dev; do
        for f in "$LAB_ROOT/$d/brivolte-element-sim" "$LAB_ROOT/$d/tools/element-sim/brivolte-element-sim"; do
            if [ -x "$f" ]; then
                echo "$f"
                return 0
            fi
        done
    done
    lab_say "no brivolte-element-sim found: build the project (./run.sh) or set BRIVOLTE_SIM"
    return 1
}

lab_topology() { cat "$(lab_state)/topology" 2>/dev/null || echo "${BRIVOLTE_LAB_TOPOLOGY:-}"; }
lab_has() { case ",$(lab_topology)," in *",$1,"*) return 0 ;; *) return 1 ;; esac; }
lab_count() { cat "$(lab_state)/count" 2>/dev/null || echo 0; }

# Element k's address, role (1 encoder, 2 decoder), name, serial and hardware address.
lab_el_foreign() { lab_has foreign && [ "$1" = "$(lab_count)" ]; }
lab_mode() { cat "$(lab_state)/mode" 2>/dev/null || echo none; }
lab_crowd_ip() { local v=$((10 + $1)); echo "10.77.$((v / 256)).$((v % 256))"; }
lab_crowd_mac() { printf '02:77:01:00:%02x:%02x' $(($1 / 256)) $(($1 % 256)); }
lab_el_ip() { if [ "$(lab_mode)" = crowd ]; then lab_crowd_ip "$1"; elif lab_el_foreign "$1"; then echo "$LAB_FOREIGN_SUBNET.$((10 + $1))"; else echo "$LAB_SUBNET.$((10 + $1))"; fi; }
lab_el_role() { if [ $(($1 % 2)) = 1 ]; then echo 1; else echo 2; fi; }
lab_el_name() { if [ "$(lab_el_role "$1")" = 1 ]; then echo "STUDIO $1"; else echo "SITE $1"; fi; }
lab_el_serial() { echo $((77000 + $1)); }
lab_el_mac() { if [ "$(lab_mode)" = crowd ]; then lab_crowd_mac "$1"; else printf '02:77:00:00:00:%02x' "$1"; fi; }

lab_sysctl() { # namespace, key (as a /proc/sys path under net/), value
    ip netns exec "$1" sh -c "echo '$3' > /proc/sys/net/$2" 2>/dev/null || true
}

# Alive and not a zombie waiting for a parent (or init) to reap it.
lab_pid_alive() {
    [ -n "$1" ] && kill -0 "$1" 2>/dev/null || return 1
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}

# Namespaces of the lab with the current prefix (exact names only, so the default lab
# never takes a test run's namespaces with it).
lab_namespaces() {
    local ns rest
    ip netns list 2>/dev/null | awk '{print $1}' | while read -r ns; do
        case "$ns" in "$BNMS_PREFIX"*) ;; *) continue ;; esac
        rest=${ns#"$BNMS_PREFIX"}
        case "$rest" in lan | station | office | pack | crowd | el[0-9] | el[0-9][0-9] | el[0-9][0-9][0-9]) echo "$ns" ;; esac
    done
}

lab_kill() { # pids...: TERM, a bounded wait, then KILL
    local pid i
    [ $# -eq 0 ] && return 0
    kill -TERM "$@" 2>/dev/null || true
    for i in $(seq 1 20); do
        local alive=0
        for pid in "$@"; do lab_pid_alive "$pid" && alive=1; done
        [ $alive = 0 ] && return 0
        sleep 0.1
    done
    kill -KILL "$@" 2>/dev/null || true
}

lab_down() {
    local state pids=() ns pid
    state=$(lab_state)
    if [ -f "$state/pids" ]; then
        while read -r pid; do lab_pid_alive "$pid" && pids+=("$pid"); done <"$state/pids"
    fi
    # Anything else still running inside the lab (a station started by exec, a test).
    for ns in $(lab_namespaces); do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do pids+=("$pid"); done
    done
    lab_kill "${pids[@]}"
    for ns in $(lab_namespaces); do ip netns del "$ns" 2>/dev/null || true; done
    lab_neigh_restore "$state"
    rm -rf "$state"
}

# Test labs (bnms-t<pid>-) whose owning run has gone (killed by a time-out, say).
lab_clean_stale() {
    local dir owner name
    [ -d "$LAB_STATE_BASE" ] || return 0
    for dir in "$LAB_STATE_BASE"/bnms-t*; do
        [ -d "$dir" ] || continue
        owner=$(cat "$dir/owner" 2>/dev/null || true)
        lab_pid_alive "$owner" && continue
        name=$(basename "$dir")
        (BNMS_PREFIX="$name-" lab_down)
    done
    # Namespaces of a test lab that never got its state written.
    local ns p
    for ns in $(ip netns list 2>/dev/null | awk '{print $1}'); do
        case "$ns" in bnms-t[0-9]*-*) ;; *) continue ;; esac
        p=${ns%-*}
        [ -d "$LAB_STATE_BASE/$p" ] || ip netns del "$ns" 2>/dev/null || true
    done
}

lab_packed() { # N
    case "${BRIVOLTE_LAB_PACKED:-}" in 1) return 0 ;; 0) return 1 ;; esac
    [ "$1" -gt 16 ]
}

lab_crowd() { # N
    case "${BRIVOLTE_LAB_CROWD:-}" in 1) return 0 ;; 0) [ "$1" -le "$LAB_MAX" ] && return 1 ;; esac
    [ "$1" -gt "$LAB_MAX" ]
}

# Room for a crowd in the kernel's neighbour table (host namespace only; see above). The
# values found and the values set are kept in the lab's state for down.
lab_neigh_raise() { # N
    [ -w "$LAB_NEIGH/gc_thresh3" ] || return 0
    local old2 old3 new2 new3
    old2=$(cat "$LAB_NEIGH/gc_thresh2") old3=$(cat "$LAB_NEIGH/gc_thresh3")
    new2=$(($1 + 512)) new3=$((2 * $1 + 1024))
    [ "$new2" -lt "$old2" ] && new2=$old2
    [ "$new3" -lt "$old3" ] && new3=$old3
    [ "$new2" = "$old2" ] && [ "$new3" = "$old3" ] && return 0
    echo "$old2 $old3 $new2 $new3" >"$(lab_state)/neigh"
    echo "$new3" >"$LAB_NEIGH/gc_thresh3"
    echo "$new2" >"$LAB_NEIGH/gc_thresh2"
}
lab_neigh_restore() { # state folder
    [ -f "$1/neigh" ] && [ -w "$LAB_NEIGH/gc_thresh3" ] || return 0
    local old2 old3 new2 new3
    read -r old2 old3 new2 new3 <"$1/neigh"
    [ "$(cat "$LAB_NEIGH/gc_thresh2")" = "$new2" ] && echo "$old2" >"$LAB_NEIGH/gc_thresh2"
    [ "$(cat "$LAB_NEIGH/gc_thresh3")" = "$new3" ] && echo "$old3" >"$LAB_NEIGH/gc_thresh3"
    return 0
}

lab_wait_ready() { # log file, pid
    local i
    for i in $(seq 1 150); do
        grep -q 'element(s) ready' "$1" 2>/dev/null && return 0
        lab_pid_alive "$2" || break
        sleep 0.1
    done
    lab_say "simulator did not start (log $1):"
    tail -n 20 "$1" >&2 || true
    return 1
}

lab_start_sim() { # namespace, log file, simulator arguments...
    local ns=$1 log=$2
    shift 2
    # nohup: a lab brought up from a terminal outlives the terminal.
    # shellcheck disable=SC2086
    nohup ip netns exec "$ns" "$LAB_SIM" --log "$@" ${BRIVOLTE_LAB_SIM_ARGS:-} >"$log" 2>&1 </dev/null &
    local pid=$!
    echo "$pid" >>"$(lab_state)/pids"
    lab_wait_ready "$log" "$pid"
}

lab_new_ns() {
    ip netns add "$1"
    ip -n "$1" link set lo up
    # No IPv6 chatter on the lab's links: the station speaks IPv4 only.
    lab_sysctl "$1" ipv6/conf/all/disable_ipv6 1
    lab_sysctl "$1" ipv6/conf/default/disable_ipv6 1
}

lab_up_inner() { # N
    local n=$1 k state logs lan station
    state=$(lab_state)
    logs=$(lab_logs)
    mkdir -p "$state" "$logs"
    echo "${LAB_OWNER:-}" >"$state/owner"
    : >"$state/pids"
    echo "${BRIVOLTE_LAB_TOPOLOGY:-}" >"$state/topology"
    echo "$n" >"$state/count"
    lan=$(lab_ns lan)
    station=$(lab_ns station)

    lab_new_ns "$lan"
    ip -n "$lan" link add br0 type bridge stp_state 0
    ip -n "$lan" link set br0 up

    lab_new_ns "$station"
    local key
    for key in all default; do lab_sysctl "$station" "ipv4/conf/$key/rp_filter" 0; done
    ip -n "$lan" link add p-st type veth peer name lan0 netns "$station"
    ip -n "$lan" link set p-st master br0 up
    ip -n "$station" link set lan0 address 02:77:00:00:01:00
    local prefix=24
    lab_crowd "$n" && prefix=20
    ip -n "$station" addr add "$LAB_STATION_IP/$prefix" dev lan0
    lab_sysctl "$station" ipv4/conf/lan0/rp_filter 0
    ip -n "$station" link set lan0 up
    if lab_has office; then
        local office
        office=$(lab_ns office)
        lab_new_ns "$office"
        ip -n "$station" link add office0 type veth peer name up0 netns "$office"
        ip -n "$station" addr add "$LAB_OFFICE_IP/24" dev office0
        ip -n "$station" link set office0 up
        ip -n "$office" addr add 10.78.0.254/24 dev up0
        ip -n "$office" link set up0 up
        ip -n "$station" route add default via 10.78.0.254 dev office0
    elif ! lab_has nogateway; then
        ip -n "$station" route add default dev lan0
    fi
    # The station pings without privileges (ICMP datagram sockets) inside the lab.
    lab_sysctl "$station" ipv4/ping_group_range "0 2147483647"

    local common=(--mask 255.255.255.0 --gw "$LAB_STATION_IP" --version 3.4)
    if lab_crowd "$n"; then
        local crowd wire=(--ask-station "${BRIVOLTE_LAB_ASK:-yes}" --answer-spread "${BRIVOLTE_LAB_SPREAD:-2500}")
        common=(--mask 255.255.240.0 --gw "$LAB_STATION_IP" --version 3.4)
        crowd=$(lab_ns crowd)
        echo crowd >"$state/mode"
        lab_neigh_raise "$n"
        lab_new_ns "$crowd"
        ip -n "$lan" link add p-crowd type veth peer name eth0 netns "$crowd"
        ip -n "$lan" link set p-crowd master br0 up
        # No address: the namespace's own kernel answers nothing, the simulators do.
        lab_sysctl "$crowd" ipv4/conf/all/arp_ignore 8
        ip -n "$crowd" link set eth0 promisc on up
        lab_start_sim "$crowd" "$logs/encoders.log" --count $(((n + 1) / 2)) --number-from 1 --step 2 \
            --ip "$(lab_crowd_ip 1)" --mac "$(lab_crowd_mac 1)" --wire eth0 --role encoder \
            --name 'STUDIO %n' --serial "$(lab_el_serial 1)" --sfn 0 --tx multicast "${wire[@]}" "${common[@]}" || return 1
        if [ "$n" -gt 1 ]; then
            lab_start_sim "$crowd" "$logs/decoders.log" --count $((n / 2)) --number-from 2 --step 2 \
                --ip "$(lab_crowd_ip 2)" --mac "$(lab_crowd_mac 2)" --wire eth0 --role decoder \
                --name 'SITE %n' --serial "$(lab_el_serial 2)" --sfn 1 --buffer 10 "${wire[@]}" "${common[@]}" || return 1
        fi
    elif lab_packed "$n"; then
        local pack enc
        pack=$(lab_ns pack)
        lab_new_ns "$pack"
        # Many interfaces on one subnet: each answers ARP for its own address only, and
        # what an element sends leaves through its own interface (one table per source).
        local key
        for key in all default; do
            lab_sysctl "$pack" "ipv4/conf/$key/arp_ignore" 1
            lab_sysctl "$pack" "ipv4/conf/$key/arp_announce" 2
            lab_sysctl "$pack" "ipv4/conf/$key/rp_filter" 0
        done
        for k in $(seq 1 "$n"); do
            ip -n "$lan" link add "p-el$k" type veth peer name "eth$k" netns "$pack"
            ip -n "$lan" link set "p-el$k" master br0 up
            ip -n "$pack" link set "eth$k" address "$(lab_el_mac "$k")"
            ip -n "$pack" addr add "$(lab_el_ip "$k")/24" dev "eth$k"
            ip -n "$pack" link set "eth$k" up
            ip -n "$pack" route add "$LAB_SUBNET.0/24" dev "eth$k" table $((100 + k))
            ip -n "$pack" rule add from "$(lab_el_ip "$k")" table $((100 + k))
        done
        # Odd elements from one process, even ones from the other (--step 2).
        enc=$(((n + 1) / 2))
        lab_start_sim "$pack" "$logs/encoders.log" --count "$enc" --number-from 1 --step 2 \
            --ip "$(lab_el_ip 1)" --interface 'eth%n' --role encoder --name 'STUDIO %n' \
            --serial "$(lab_el_serial 1)" --sfn 0 --tx multicast "${common[@]}" || return 1
        if [ "$n" -gt 1 ]; then
            lab_start_sim "$pack" "$logs/decoders.log" --count $((n / 2)) --number-from 2 --step 2 \
                --ip "$(lab_el_ip 2)" --interface 'eth%n' --role decoder --name 'SITE %n' \
                --serial "$(lab_el_serial 2)" --sfn 1 --buffer 10 "${common[@]}" || return 1
        fi
        echo packed >"$state/mode"
    else
        local ns role
        for k in $(seq 1 "$n"); do
            ns=$(lab_ns "el$k")
            lab_new_ns "$ns"
            ip -n "$lan" link add "p-el$k" type veth peer name eth0 netns "$ns"
            ip -n "$lan" link set "p-el$k" master br0 up
            ip -n "$ns" link set eth0 address "$(lab_el_mac "$k")"
            ip -n "$ns" addr add "$(lab_el_ip "$k")/24" dev eth0
            ip -n "$ns" link set eth0 up
            # Off the station's subnet, it reaches the station on its own link.
            lab_el_foreign "$k" && ip -n "$ns" route add default dev eth0
            role=$(lab_el_role "$k")
            if [ "$role" = 1 ]; then
                lab_start_sim "$ns" "$logs/el$k.log" --interface eth0 --ip "$(lab_el_ip "$k")" \
                    --role encoder --name "$(lab_el_name "$k")" --serial "$(lab_el_serial "$k")" \
                    --sfn 0 --tx multicast "${common[@]}" || return 1
            else
                lab_start_sim "$ns" "$logs/el$k.log" --interface eth0 --ip "$(lab_el_ip "$k")" \
                    --role decoder --name "$(lab_el_name "$k")" --serial "$(lab_el_serial "$k")" \
                    --sfn 1 --buffer 10 "${common[@]}" || return 1
            fi
        done
        echo separate >"$state/mode"
    fi
    if lab_has landown; then ip -n "$station" link set lan0 down; fi
}

lab_up() { # N [--topology LIST]
    local n=${1:-}
    if [ "${2:-}" = --topology ]; then export BRIVOLTE_LAB_TOPOLOGY=${3:-}; fi
    case "$n" in '' | *[!0-9]*) lab_say "usage: lab.sh up N (1..$LAB_CROWD_MAX)"; return 2 ;; esac
    if [ "$n" -lt 1 ] || [ "$n" -gt "$LAB_CROWD_MAX" ]; then
        lab_say "N must be 1..$LAB_CROWD_MAX"
        return 2
    fi
    if lab_crowd "$n" && case ",${BRIVOLTE_LAB_TOPOLOGY:-}," in *,foreign,*) true ;; *) false ;; esac; then
        lab_say "the foreign topology needs separate or packed elements (at most $LAB_MAX)"
        return 2
    fi
    lab_need_root up "$n" || return 1
    LAB_SIM=$(lab_find_sim) || return 1
    lab_clean_stale
    lab_down
    # A failure or an interruption half-way leaves nothing behind. The steps run in a
    # shell of their own so that the first failing command stops them (errexit is not
    # honoured in a function called from a condition). The caller's traps come back after.
    local saved_traps
    saved_traps=$(trap -p INT TERM)
    trap 'lab_down; exit 130' INT TERM
    local ok=1
    LAB_SIM="$LAB_SIM" BNMS_PREFIX="$BNMS_PREFIX" LAB_OWNER="${LAB_OWNER:-}" \
        BRIVOLTE_LAB_TOPOLOGY="${BRIVOLTE_LAB_TOPOLOGY:-}" BRIVOLTE_LAB_CROWD="${BRIVOLTE_LAB_CROWD:-}" \
        BRIVOLTE_LAB_ASK="${BRIVOLTE_LAB_ASK:-}" BRIVOLTE_LAB_SPREAD="${BRIVOLTE_LAB_SPREAD:-}" \
        bash -ec '. "$1"; lab_up_inner "$2"' lab-up "$LAB_DIR/lab.sh" "$n" || ok=0
    trap - INT TERM
    eval "$saved_traps"
    if [ $ok = 0 ]; then
        lab_say "bringing the lab up failed; cleaning up"
        lab_down
        return 1
    fi
}

# The lab as environment variables for a command run inside it.
lab_describe() {
    local state n k ips=() names=() roles=() serials=() macs=()
    state=$(lab_state)
    n=$(cat "$state/count" 2>/dev/null || echo 0)
    local crowd=0 v
    [ "$(lab_mode)" = crowd ] && crowd=1
    for k in $(seq 1 "$n"); do
        if [ $crowd = 1 ]; then
            # Arithmetic only: a few thousand elements, no process each.
            v=$((10 + k))
            ips+=("10.77.$((v / 256)).$((v % 256))")
            printf -v v '02:77:01:00:%02X:%02X' $((k / 256)) $((k % 256))
            macs+=("$v")
            if [ $((k % 2)) = 1 ]; then roles+=(1) names+=("STUDIO $k"); else roles+=(2) names+=("SITE $k"); fi
            serials+=($((77000 + k)))
            continue
        fi
        ips+=("$(lab_el_ip "$k")")
        names+=("$(lab_el_name "$k")")
        roles+=("$(lab_el_role "$k")")
        serials+=("$(lab_el_serial "$k")")
        macs+=("$(lab_el_mac "$k" | tr 'a-f' 'A-F')")
    done
    local IFS=' '
    echo "BRIVOLTE_LAB_STATION=$LAB_STATION_IP"
    echo "BRIVOLTE_LAB_TOPOLOGY=$(lab_topology)"
    echo "BRIVOLTE_LAB_ELEMENTS=${ips[*]}"
    echo "BRIVOLTE_LAB_ROLES=${roles[*]}"
    echo "BRIVOLTE_LAB_SERIALS=${serials[*]}"
    echo "BRIVOLTE_LAB_MACS=${macs[*]}"
    IFS=','
    echo "BRIVOLTE_LAB_NAMES=${names[*]}"
    echo "BRIVOLTE_LAB_NETNS=$BNMS_PREFIX"
    echo "BRIVOLTE_LAB_MODE=$(cat "$state/mode" 2>/dev/null || echo none)"
    echo "BRIVOLTE_LAB_LOGS=$(lab_logs)"
}

lab_exec() { # CMD ARGS...
    local station vars=() line
    station=$(lab_ns station)
    if ! ip netns list 2>/dev/null | awk '{print $1}' | grep -qx "$station"; then
        lab_say "the lab is not up (lab.sh up N)"
        return 1
    fi
    while IFS= read -r line; do vars+=("$line"); done < <(lab_describe)
    # Under sudo the command runs as the calling user (with that user's HOME), so the
    # station's files stay theirs; DISPLAY, XAUTHORITY and the rest pass through.
    if [ -n "${SUDO_UID:-}" ] && [ "${SUDO_UID}" != 0 ] && [ "${BRIVOLTE_LAB_AS_ROOT:-0}" != 1 ] \
        && command -v setpriv >/dev/null 2>&1; then
        local home
        home=$(getent passwd "$SUDO_UID" | cut -d: -f6)
        ip netns exec "$station" env "${vars[@]}" HOME="${home:-$HOME}" USER="${SUDO_USER:-}" \
            LOGNAME="${SUDO_USER:-}" \
            setpriv --reuid "$SUDO_UID" --regid "${SUDO_GID:-$SUDO_UID}" --init-groups -- "$@"
    else
        ip netns exec "$station" env "${vars[@]}" "$@"
    fi
}

lab_status() {
    local state
    state=$(lab_state)
    if [ ! -f "$state/count" ]; then
        echo "lab $(lab_name): down"
        return 0
    fi
    echo "lab $(lab_name): $(cat "$state/count") element(s), $(cat "$state/mode"), logs in $(lab_logs)"
    lab_describe | sed 's/^/  /'
}

lab_main() {
    local cmd=${1:-}
    shift || true
    case "$cmd" in
        up) lab_up "$@" ;;
        down) lab_need_root down && lab_down ;;
        exec)
            [ $# -gt 0 ] || { lab_say "usage: lab.sh exec CMD [ARGS...]"; return 2; }
            lab_need_root exec && lab_exec "$@"
            ;;
        station)
            local n=${1:-} bin=${2:-}
            [ -n "$n" ] && [ -n "$bin" ] || { lab_say "usage: lab.sh station N STATION_BIN [ARGS...]"; return 2; }
            shift 2
            lab_up "$n" || return $?
            trap 'lab_down' EXIT
            trap 'exit 130' INT TERM
            lab_say "$n element(s) up; starting the station in $(lab_ns station)"
            local rc=0
            lab_exec "$bin" "$@" || rc=$?
            return $rc
            ;;
        status) lab_status ;;
        -h | --help | help | '') sed -n '2,52p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' ;;
        *) lab_say "unknown command '$cmd' (up, down, exec, station, status)"; return 2 ;;
    esac
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -uo pipefail
    lab_main "$@"
    exit $?
fi
