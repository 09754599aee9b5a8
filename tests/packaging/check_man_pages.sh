#!/usr/bin/env bash
# The manual pages say what --help says: the same commands, each with the same options, and no option
# that the program does not have. They also format without warnings where groff is installed.
# Usage: check_man_pages.sh TALMIRO_CLI TALMIRO|- MAN_DIR
set -euo pipefail
cli=$1 viewer=$2 man=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0

# "COMMAND OPTION" lines, "- OPTION" for the program's own options and "COMMAND" for each command.
help_entries() { # the top-level --help of talmiro-cli: options, then each subcommand with its options
    awk '
        /^Subcommands:/ { commands = 1; next }
        commands && /^[a-z]/ { command = $1; print command; next }
        {
            if (!commands && $0 !~ /^  -/) next
            if (commands && $0 !~ /^    -/) next
            n = split($1, names, ",")
            for (i = 1; i <= n; i++) print (commands ? command : "-") " " names[i]
        }'
}
viewer_help_entries() { # the viewer: the lines of its Options block
    awk '/^Options:/ { on = 1; next } on && /^$/ { on = 0 } on && /^  -/ {
        for (i = 1; i <= NF && $i ~ /^-/; i++) { sub(/,$/, "", $i); print "- " $i } }'
}
man_entries() { # options are the bold words of the .TP lines of OPTIONS and of each command of COMMANDS
    sed 's/\\-/-/g' "$1" | awk '
        /^\.SH/ { section = $2; command = "-"; next }
        section == "COMMANDS" && /^\.SS/ { command = $2; print command; next }
        /^\.TP/ { tag = 1; next }
        tag {
            tag = 0
            if (section != "OPTIONS" && section != "COMMANDS") next
            for (i = 2; i <= NF; i++) {
                word = $i
                gsub(/"/, "", word)
                if (word ~ /^--?[a-z]/) print command " " word
            }
        }'
}

compare() { # NAME EXPECTED ACTUAL
    if ! diff -u --label "$1: --help" --label "$1: manual page" "$2" "$3"; then
        echo "FAIL: $1(1) and $1 --help list different commands or options" >&2
        status=1
    fi
}

"$cli" --help | help_entries | sort >"$tmp/cli.help"
man_entries "$man/talmiro-cli.1" | sort >"$tmp/cli.man"
[ -s "$tmp/cli.help" ] || { echo "FAIL: nothing read from talmiro-cli --help" >&2; exit 1; }
compare talmiro-cli "$tmp/cli.help" "$tmp/cli.man"

if [ "$viewer" != - ]; then
    env -u DISPLAY -u WAYLAND_DISPLAY "$viewer" --help | viewer_help_entries | sort >"$tmp/viewer.help"
    man_entries "$man/talmiro.1" | sort >"$tmp/viewer.man"
    [ -s "$tmp/viewer.help" ] || { echo "FAIL: nothing read from talmiro --help" >&2; exit 1; }
    compare talmiro "$tmp/viewer.help" "$tmp/viewer.man"
fi

if command -v groff >/dev/null; then
    for page in "$man"/*.1; do
        warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
        [ -z "$warnings" ] || { echo "FAIL: $page: $warnings" >&2; status=1; }
    done
else
    echo "groff is not installed: the pages' formatting is not checked"
fi

[ "$status" = 0 ] && echo "manual pages agree with --help"
exit "$status"
