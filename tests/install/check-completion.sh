#!/usr/bin/env bash
# The bash completion of quorvel-cli offers what the tool's help names: its commands, the words of a
# command and its options, and files after them.
set -uo pipefail
programs=$1
completion=$2
failures=0
PATH=$programs:$PATH
# shellcheck source=/dev/null
source "$completion"

offered() { # the words of the line, the last one being completed
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _quorvel_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() { # what is offered, what must be
    [ "$1" = "$2" ] || {
        echo "FAIL: offered \"$1\", expected \"$2\"" >&2
        failures=$((failures + 1))
    }
}

expect "$(offered quorvel-cli gr)" "groups "
expect "$(offered quorvel-cli s)" "send set-port sim sim-list speed-dial "
expect "$(offered quorvel-cli --port COM3 --yes phone)" "phonebook "
expect "$(offered quorvel-cli groups '')" \
    "--add --help --json --output --port --record --replace --verbose --version --yes -h -o -v -y delete read write "
expect "$(offered quorvel-cli phonebook import x.csv --dia)" "--dialable "
expect "$(offered quorvel-cli --y)" "--yes "
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
touch "$dir/list.BGL"
expect "$(offered quorvel-cli groups write "$dir/li")" "$dir/list.BGL "

[ "$failures" -eq 0 ] && echo "completion follows the help"
exit $((failures > 0))
