#!/usr/bin/env bash
# The bash completion of quorvel-cli offers what the tool's help names: its commands, the words of a
# command and its options, the global options anywhere, and after them the files of the kind each
# command takes, with the folders.
set -uo pipefail
# The order in which the offered words are compared.
export LC_ALL=C
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
expect "$(offered quorvel-cli s)" "send set-port sim sim-list speed-dial station "
expect "$(offered quorvel-cli --port COM3 --yes phone)" "phonebook "
# The global options the help names (--port, --yes, --json, --verbose, --record, --help, --version, ...).
globals=$(quorvel-cli --help | sed -n '/^global options:/,/^$/s/^  \(--[a-z][a-z-]*\).*/\1/p' |
    sort -u | tr '\n' ' ')
for option in --help --json --port --record --verbose --version --yes; do
    [[ " $globals" == *" $option "* ]] || expect "$globals" "$option among the global options of the help"
done
# shellcheck disable=SC2086
expect "$(offered quorvel-cli groups '')" \
    "$(printf '%s\n' $globals --add --output --replace -h -o -q -v -y delete read write | sort -u | tr '\n' ' ')"
expect "$(offered quorvel-cli phonebook import x.csv --dia)" "--dialable "
expect "$(offered quorvel-cli --y)" "--yes "
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
touch "$dir/list.BGL"
expect "$(offered quorvel-cli groups write "$dir/li")" "$dir/list.BGL "

# The global options, before the command, after it and after its arguments; a value of --port or
# --record is no command.
expect "$(offered quorvel-cli --)" "$globals"
expect "$(offered quorvel-cli --record "$dir/talk.jsonl" --port COM3 gr)" "groups "
for line in "info --" "phonebook write office.phb --" "sim save x.sim --json --" "groups read -o x.BGL --"; do
    # shellcheck disable=SC2086
    offered_options=" $(offered quorvel-cli $line)"
    for option in $globals; do
        [[ $offered_options == *" $option "* ]] || expect "$offered_options" "$option among them, after $line"
    done
done

# A file argument offers the folders and the files of the kind the command takes, in either case.
files="$dir/files"
mkdir -p "$files/folder" "$files/folder.phb"
for name in office.phb OLD.PHB contacts.csv cards.vcf desk.pro keys.sdl list.BGL more.bgl \
    "desk_00291 0284280.sim" talk.jsonl notes.txt office.phb.txt records.json; do
    touch "$files/$name"
done
f=$files/
folders="${f}folder ${f}folder.phb"
phb="${f}OLD.PHB $folders ${f}office.phb "
expect "$(offered quorvel-cli --yes phonebook write "$f")" "$phb"
expect "$(offered quorvel-cli phonebook restore-backup "$f")" "$phb"
expect "$(offered quorvel-cli phonebook read -o "$f")" "$phb"
expect "$(offered quorvel-cli phonebook import "$f")" "${f}cards.vcf ${f}contacts.csv $folders "
expect "$(offered quorvel-cli phonebook import "${f}contacts.csv" --output "$f")" "$phb"
expect "$(offered quorvel-cli profile write "$f")" "${f}desk.pro $folders "
expect "$(offered quorvel-cli profile read --output "$f")" "${f}desk.pro $folders "
expect "$(offered quorvel-cli speed-dial write "$f")" "$folders ${f}keys.sdl "
expect "$(offered quorvel-cli --yes groups write "$f")" "$folders ${f}list.BGL ${f}more.bgl "
for sub in restore check release; do
    expect "$(offered quorvel-cli sim $sub "$f")" "${f}desk_00291 0284280.sim $folders "
done
expect "$(offered quorvel-cli --record "$f")" "$folders ${f}talk.jsonl "
expect "$(offered quorvel-cli phonebook read --record "$f")" "$folders ${f}talk.jsonl "
expect "$(offered quorvel-cli --port "@${f}n")" "@${f}notes.txt "
expect "$(offered quorvel-cli records import "$f")" "$folders ${f}records.json "
expect "$(offered quorvel-cli rec)" "records "
# The address of a store of SIM records: its kinds, then an SQLite file, also when bash has split the
# word at its colon.
expect "$(offered quorvel-cli records export --store s)" "sqlite: "
expect "$(offered quorvel-cli records export --store "sqlite:${f}fo")" "sqlite:${folders// / sqlite:} "
expect "$(offered quorvel-cli records import x.json --store sqlite : "${f}fo")" "$folders "
# A command whose file may be of any kind offers every file.
expect "$(offered quorvel-cli sim-list "${f}n")" "${f}notes.txt "

[ "$failures" -eq 0 ] && echo "completion follows the help"
exit $((failures > 0))
