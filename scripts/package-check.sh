#!/usr/bin/env bash
# Builds the Debian package and checks it: lintian (errors fail, warnings are listed),
# the AppStream metadata, the desktop entry, the manual pages against --help, and the
# unpacked programs' --version with no display and no capability.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(scripts/package.sh)
echo "package: $deb"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
dpkg-deb -x "$deb" "$root"

echo "== lintian"
lintian --fail-on error --display-level '>=warning' --tag-display-limit 0 "$deb"
echo "== appstreamcli validate"
appstreamcli validate --no-net --explain "$root"/usr/share/metainfo/*.metainfo.xml
echo "== desktop-file-validate"
desktop-file-validate "$root"/usr/share/applications/*.desktop
echo "== manual pages"
scripts/check-manpages.sh "$root/usr/bin" docs/man
echo "== unpacked --version"
for program in brivolte-nms brivolte-nmsctl; do
    env -u DISPLAY -u WAYLAND_DISPLAY BRIVOLTE_NMS_DIR="$scratch/db" XDG_CONFIG_HOME="$scratch/config" \
        "$root/usr/bin/$program" --version
done
echo "package check passed"
