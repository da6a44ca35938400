#!/usr/bin/env bash
# check-manpages.sh BINDIR MANDIR: every option, argument, command and exit status that
# a program's --help names must be in its manual page, so the two cannot drift apart.
set -euo pipefail
bindir=$1 mandir=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# --help prints the database folder: keep it out of the caller's home.
export BRIVOLTE_NMS_DIR=$scratch/db XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
unset DISPLAY WAYLAND_DISPLAY

# The page as text: roff's font changes and escapes removed.
page_text() {
    sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' -e 's/\\&//g' -e 's/\\c$//' "$mandir/$1.1.in"
}

help_of() {
    local program=$1
    "$bindir/$program" --help
    if [ "$program" = brivolte-nmsctl ]; then
        local command
        for command in $("$bindir/$program" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z]*\).*/\1/p'); do
            echo "$command"
            "$bindir/$program" "$command" --help
        done
    fi
}

missing=0
for program in brivolte-nms brivolte-nmsctl; do
    help_of "$program" > "$scratch/help"
    page_text "$program" > "$scratch/page"
    # Options, upper-case arguments and names (GPS, ELEMENT, UDP …) and commands.
    for word in $(grep -oE -- '--[a-z][a-z-]*|\b[A-Z][A-Z_]+\b|^[a-z]+$' "$scratch/help" | sort -u); do
        grep -qw -- "$word" "$scratch/page" || { echo "$program(1) does not mention $word" >&2; missing=1; }
    done
    # Exit statuses listed as "Exit status: 0 success, 1 refused …".
    for status in $(sed -n '/^Exit status:/,/^$/p' "$scratch/help" | grep -oE '\b[0-9] [a-z]+' | cut -d' ' -f1); do
        sed -n '/^\.SH EXIT STATUS/,/^\.SH/p' "$scratch/page" | grep -qx "\.B $status" \
            || { echo "$program(1) has no exit status $status" >&2; missing=1; }
    done
done
[ "$missing" -eq 0 ] && echo "manual pages name everything --help does"
exit "$missing"
