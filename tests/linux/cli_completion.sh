#!/usr/bin/env bash
# Sources the bash completion of trelvix-pulse-cli and checks what it offers
# for a table of command lines, as bash would ask it with the cursor at the
# end; then checks that it offers every command, option and setting name the
# program's own help lists, so that a new one cannot be left out.
set -uo pipefail
completion=$1
cli=$(realpath "$2")
complete() { :; }  # the file registers itself; not needed here
compopt() { :; }
# shellcheck source=/dev/null
source "$completion"

offered() {  # offered LINE [WORDBREAKS]: what the completion offers, sorted
    COMP_LINE=$1
    COMP_POINT=${#1}
    COMP_WORDBREAKS=${2:-$' \t\n"\'><=;|&(:'}
    COMPREPLY=()
    _trelvix_pulse_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}

files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
touch "$files/setup.json" "$files/other.json"
cd "$files" || exit 1

failed=0
while IFS='|' read -r line breaks expected; do
    [ -z "$line" ] && continue
    got=$(offered "$line" "${breaks:-}")
    if [ "$got" != "$expected" ]; then
        echo "FAILED: '$line': offered '$got', expected '$expected'" >&2
        failed=1
    fi
done <<EOF_CASES
trelvix-pulse-cli ||apply defaults list serve set show
trelvix-pulse-cli s||serve set show
trelvix-pulse-cli --j||--json
trelvix-pulse-cli --s||--serial --simulate
trelvix-pulse-cli --serial ||
trelvix-pulse-cli --serial TPG35-1 sh||show
trelvix-pulse-cli --json show ||
trelvix-pulse-cli set ||amplitude-index= amplitude-mv= freq= polarity= sync-freq= trigger=
trelvix-pulse-cli --exact set amp||amplitude-index= amplitude-mv=
trelvix-pulse-cli set freq=1e6 pol||polarity=
trelvix-pulse-cli set polarity=||inverted normal
trelvix-pulse-cli set trigger=s||sync
trelvix-pulse-cli set freq=||
trelvix-pulse-cli set polarity=i| |polarity=inverted
trelvix-pulse-cli apply s||setup.json
trelvix-pulse-cli apply ||- other.json setup.json
trelvix-pulse-cli --listen ||
trelvix-pulse-cli --h||--help --http --http-password-file
trelvix-pulse-cli --http 127.0.0.1:0 se||serve set
trelvix-pulse-cli --http-password-file o||other.json
EOF_CASES

# Everything the help lists is offered.
help=$("$cli" --help) || { echo "FAILED: $cli --help" >&2; exit 1; }
names() { sed -n "/^$1:/,/^\$/p" <<<"$help" | sed -n 's/^  \([-a-z0-9]\+\).*/\1/p'; }
listed="$(names Commands) $(names Options) $("$cli" set --help | sed -n 's/^  \([-a-z]\+=\).*/\1/p')"
if [ "$(wc -w <<<"$listed")" -lt 16 ]; then
    echo "FAILED: the help lists only: $listed" >&2
    exit 1
fi
all=" $(offered 'trelvix-pulse-cli ') $(offered 'trelvix-pulse-cli -') $(offered 'trelvix-pulse-cli set ') "
for name in $listed; do
    if [[ $all != *" $name "* ]]; then
        echo "FAILED: the help lists $name; the completion does not offer it" >&2
        failed=1
    fi
done
[ "$failed" -eq 0 ] && echo "completion: every case offered as expected"
exit "$failed"
