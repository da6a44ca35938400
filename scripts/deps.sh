#!/usr/bin/env bash
# Debian packages the station needs to build, test and run. Sourced by run.sh and test.sh.
BRIVOLTE_DEPS=(cmake g++ make qt6-base-dev qt6-base-dev-tools libgl-dev
               clang libclang-rt-14-dev iproute2 libcap2-bin procps)
# Building and checking the Debian package (scripts/package.sh, scripts/package-check.sh).
BRIVOLTE_PACKAGE_DEPS=(dpkg-dev lintian appstream desktop-file-utils man-db)

# brivolte_missing_deps [EXTRA...] / brivolte_ensure_deps [EXTRA...]: the packages above
# and the extra ones.
brivolte_missing_deps() {
    local missing=() p
    for p in "${BRIVOLTE_DEPS[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    echo "${missing[@]}"
}

brivolte_ensure_deps() {
    local missing
    missing=$(brivolte_missing_deps "$@")
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing build dependencies: $missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        # shellcheck disable=SC2086
        apt-get install -y -qq --no-install-recommends $missing
    else
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y $missing" >&2
        return 1
    fi
}
