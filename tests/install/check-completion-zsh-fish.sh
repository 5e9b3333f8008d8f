#!/usr/bin/env bash
# The zsh and fish completions of quorvel-cli offer what the tool's help names: its commands, the words
# and options of a command, the global options, and files where an option's value or a command's file
# stands. Each shell is run as it completes: zsh through the completion function with compadd and
# _files standing in for its completion system, fish through its own "complete -C".
set -uo pipefail
export LC_ALL=C
programs=$(cd "$1" && pwd)
completions=$(cd "$2" && pwd)
failures=0
PATH=$programs:$PATH
export PATH

if ! command -v zsh >/dev/null && ! command -v fish >/dev/null; then
    echo "neither zsh nor fish is installed: nothing to check"
    exit 77
fi

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
has() { # what was offered, what must be among it
    local word
    for word in "${@:2}"; do
        [[ " $1 " == *" $word "* ]] || fail "\"$word\" not among \"$1\""
    done
}
lacks() {
    local word
    for word in "${@:2}"; do
        [[ " $1 " != *" $word "* ]] || fail "\"$word\" among \"$1\""
    done
}

if command -v zsh >/dev/null; then
    zsh_offered() { # the words of the line, the last one being completed
        # shellcheck disable=SC2016
        zsh -f -c '
            compadd() { [[ $1 == -a ]] && print -rC1 -- ${(P)2}; }
            _files() { print -r -- "<files>"; }
            words=("$@")
            CURRENT=$#
            source "$QUORVEL_COMPLETION"
        ' zsh "$@" | sort -u | tr '\n' ' '
    }
    export QUORVEL_COMPLETION=$completions/_quorvel-cli
    offered=$(zsh_offered quorvel-cli gr)
    has "$offered" groups phonebook speed-dial --port --yes --json
    lacks "$offered" "<files>"
    offered=$(zsh_offered quorvel-cli --port COM3 groups '')
    has "$offered" read write delete --add --replace -o --output --yes "<files>"
    lacks "$offered" phonebook
    [ "$(zsh_offered quorvel-cli --record '')" = "<files> " ] || fail "zsh: --record offers no file alone"
    [ "$(zsh_offered quorvel-cli groups read -o '')" = "<files> " ] || fail "zsh: -o offers no file alone"
else
    echo "zsh is not installed: its completion is not checked"
fi

if command -v fish >/dev/null; then
    dir=$(mktemp -d)
    trap 'rm -rf "$dir"' EXIT
    touch "$dir/site.BGL"
    fish_offered() { # the line as typed
        (cd "$dir" && fish -N -c "source '$completions/quorvel-cli.fish'; complete -C '$1'") |
            cut -f1 | sort -u | tr '\n' ' '
    }
    offered=$(fish_offered "quorvel-cli gr")
    has "$offered" groups
    lacks "$offered" phonebook site.BGL
    offered=$(fish_offered "quorvel-cli --yes groups ")
    has "$offered" read write delete site.BGL
    offered=$(fish_offered "quorvel-cli groups write site.BGL --")
    has "$offered" --add --replace --yes --dry-run
    [ "$(fish_offered "quorvel-cli groups read -o ")" = "site.BGL " ] || fail "fish: -o offers no file alone"
    [ "$(fish_offered "quorvel-cli --port ")" = "site.BGL " ] || fail "fish: --port offers more than files"
else
    echo "fish is not installed: its completion is not checked"
fi

[ "$failures" -eq 0 ] && echo "zsh and fish completions follow the help"
exit $((failures > 0))
