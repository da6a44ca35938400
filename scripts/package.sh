#!/usr/bin/env bash
# Builds the Debian package of the station (brivolte-nms and brivolte-nmsctl, Release,
# stripped, with Debian's hardening flags) in build/package and prints the .deb's path.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
brivolte_ensure_deps "${BRIVOLTE_PACKAGE_DEPS[@]}" >&2

build=build/package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Only the two programs and their pages are built: the package carries nothing else.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRIVOLTE_TESTS=OFF "${launcher[@]}" \
      -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)" --target brivolte-nms brivolte-nmsctl brivolte-docs >&2
rm -f "$build"/brivolte-nms_*.deb
(cd "$build" && cpack -G DEB >&2)
realpath "$build"/brivolte-nms_*.deb
