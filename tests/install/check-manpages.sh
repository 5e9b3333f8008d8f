#!/usr/bin/env bash
# The man pages against the programs' own help: every command, every word of a command (phonebook
# read, ...) and every option the help names stands in the man page, and the man page names no option
# the help does not. A new command or option therefore needs its line in the man page, nothing more.
# Every page is read by groff without a warning.
set -uo pipefail
programs=$1
man=$2
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The man page as plain text: font changes, escaped hyphens, the macros and their quotes undone.
plain() { sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' -e 's/\\c$//' -e '/^\./{s/^\.[A-Z][A-Z]* *//;s/"//g}' "$1"; }
long_options() { options | grep -- '^--'; }
options() { grep -oE -- '(^|[^a-zA-Z0-9-])--?[a-z][a-z-]*' | sed 's/^[^-]*//' | sort -u; }
has_option() { grep -qE -- "(^|[^a-zA-Z0-9-])$1([^a-zA-Z0-9-]|\$)" <<<"$2"; }

check_options() { # help text, man text, program
    local option
    for option in $(options <<<"$1"); do
        has_option "$option" "$2" || fail "$3: the man page lacks $option"
    done
}

# quorvel-cli: the commands of its help, then each command's own help.
cli_man=$(plain "$man/quorvel-cli.1")
help=$("$programs/quorvel-cli" --help) || fail "quorvel-cli --help"
all_help=$help
commands=$(sed -n '/^commands:/,/^$/s/^  \([a-z][a-z-]*\).*/\1/p' <<<"$help")
[ -n "$commands" ] || fail "quorvel-cli --help lists no commands"
for command in $commands; do
    grep -qE "(^| )$command( |\$)" <<<"$cli_man" || fail "quorvel-cli.1 lacks the command $command"
    command_help=$("$programs/quorvel-cli" "$command" --help) || fail "quorvel-cli $command --help"
    all_help+=$'\n'$command_help
    check_options "$command_help" "$cli_man" "quorvel-cli $command"
    for word in $(sed -n "1s/.* $command \([a-z][a-z|-]*\).*/\1/p" <<<"$command_help" | tr '|' ' '); do
        grep -qE "(^| )$command $word( |\$)" <<<"$cli_man" || fail "quorvel-cli.1 lacks \"$command $word\""
    done
done
check_options "$help" "$cli_man" "quorvel-cli"
# Short forms (-h) are not all in the help; the long options are.
for option in $(long_options <<<"$cli_man"); do
    has_option "$option" "$all_help" || fail "quorvel-cli.1 names $option, which the help does not"
done

# quorvel-handset: its options.
handset_man=$(plain "$man/quorvel-handset.1")
help=$("$programs/quorvel-handset" --help) || fail "quorvel-handset --help"
check_options "$help" "$handset_man" "quorvel-handset"
for option in $(long_options <<<"$handset_man"); do
    has_option "$option" "$help" || fail "quorvel-handset.1 names $option, which the help does not"
done

# quorvel: the window program's switches, which begin with one "-" as well as two; every one the man
# page names is in the help.
window_man=$(plain "$man/quorvel.1")
help=$("$programs/quorvel" --help) || fail "quorvel --help"
check_options "$help" "$window_man" "quorvel"
for option in $(options <<<"$window_man"); do
    has_option "$option" "$help" || fail "quorvel.1 names $option, which the help does not"
done

for page in "$man"/*.1; do
    if command -v groff >/dev/null; then
        warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff cannot read $page"
        [ -z "$warnings" ] || fail "$page: $warnings"
    fi
    grep -q '^\.SH SEE ALSO' "$page" || fail "$page has no SEE ALSO"
done

[ "$failures" -eq 0 ] && echo "man pages match the help"
exit $((failures > 0))
