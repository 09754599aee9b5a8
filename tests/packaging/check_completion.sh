#!/usr/bin/env bash
# The bash completion of talmiro-cli offers what the program accepts: its commands, each command's long
# options as its --help lists them, the values of --format, and files of the kind each command reads.
# Usage: check_completion.sh TALMIRO_CLI COMPLETION_FILE
set -euo pipefail
cli=$1 completion=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0

# shellcheck source=/dev/null
source "$completion"
complete -p talmiro-cli | grep -q -- '-F _talmiro_cli' || { echo "FAIL: talmiro-cli has no completion" >&2; exit 1; }

# The words offered for a command line whose last word is being completed, sorted, one line.
offered() {
    COMP_WORDS=(talmiro-cli "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _talmiro_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() { # WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1: expected [$2], offered [$3]" >&2
        status=1
    fi
}
long_options() { # the long options of a --help text, sorted, one line
    awk '/^Options:/ { on = 1; next } /^[A-Z][a-z]*:/ { on = 0 } on && /^ +-/ {
        n = split($1, names, ","); for (i = 1; i <= n; i++) if (names[i] ~ /^--/) print names[i] }' |
        sort | tr '\n' ' '
}

commands=$("$cli" --help | awk '/^Subcommands:/ { on = 1; next } on && /^[a-z]/ { print $1 }' | sort | tr '\n' ' ')
expect "commands" "$commands" "$(offered '')"
expect "program options" "$("$cli" --help | long_options)" "$(offered -)"
for command in $commands; do
    expect "$command options" "$("$cli" "$command" --help | long_options)" "$(offered "$command" -)"
done
expect "--format values" "json text " "$(offered dump --format '')"
expect "options after a file" "--format --guideline --help --no-guideline --standards " "$(offered dump a.edi --)"

# Arguments: the files each command reads, and directories to walk into.
mkdir -p "$tmp/work/sub"
touch "$tmp/work/"{a.edi,b.EDI,c.edifact,d.txt,e.zip,f.sdf,g.MDF,h.SDT,i.png}
cd "$tmp/work"
expect "check files" "a.edi b.EDI c.edifact d.txt sub " "$(offered check '')"
expect "compile files" "f.sdf g.MDF sub " "$(offered compile '')"
expect "import-untdid files" "e.zip sub " "$(offered import-untdid '')"
expect "--out directories" "sub " "$(offered import-untdid e.zip --out '')"
expect "--standards directories" "sub " "$(offered show --standards s)"
shopt -q extglob && { echo "FAIL: the completion left extglob set" >&2; status=1; }

[ "$status" = 0 ] && echo "completion offers every command and option of --help"
exit "$status"
