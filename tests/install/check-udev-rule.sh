#!/usr/bin/env bash
# The form of a udev rules file, where udevadm verify is not at hand (Debian 12's udev has none): every
# rule is KEY[{attribute}]OP"value" items split by commas; a key is one udev knows, with an operator it
# takes; a key that looks at the parents is never negated (it would match the device itself); every GOTO
# has its LABEL further down; MODE is octal. Prints what is wrong and exits 1, or exits 0.
set -uo pipefail
rules=$1
failures=0
fail() {
    echo "FAIL: $rules line $1: $2" >&2
    failures=$((failures + 1))
}
[ -r "$rules" ] || { echo "FAIL: $rules cannot be read" >&2; exit 1; }

match_only=" ACTION DEVPATH KERNEL KERNELS SUBSYSTEM SUBSYSTEMS DRIVER DRIVERS ATTRS TAGS TEST PROGRAM RESULT CONST "
assign_only=" LABEL GOTO IMPORT RUN OPTIONS OWNER GROUP MODE SECLABEL "
either=" NAME SYMLINK ENV ATTR SYSCTL TAG "
parents=" KERNELS SUBSYSTEMS DRIVERS ATTRS TAGS "
with_attribute=" ENV ATTR ATTRS SYSCTL CONST IMPORT SECLABEL "

labels=()
gotos=()
number=0
while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
    [[ $line == *\\ ]] && { fail "$number" "a continued line"; continue; }
    rest=$line
    while [ -n "$rest" ]; do
        if ! [[ $rest =~ ^[[:space:]]*([A-Z]+)(\{[^}]*\})?(==|!=|\+=|-=|:=|=)\"([^\"]*)\"[[:space:]]*(,|$)(.*)$ ]]; then
            fail "$number" "no KEY{attribute}OP\"value\" item at: $rest"
            break
        fi
        key=${BASH_REMATCH[1]} attribute=${BASH_REMATCH[2]} op=${BASH_REMATCH[3]} value=${BASH_REMATCH[4]}
        separator=${BASH_REMATCH[5]} rest=${BASH_REMATCH[6]}
        [[ $separator == , && -z ${rest//[[:space:]]/} ]] && fail "$number" "a comma at the end"
        if [[ $match_only == *" $key "* ]]; then
            [[ $op == == || $op == != ]] || fail "$number" "$key only compares (== or !=), not $op"
        elif [[ $assign_only == *" $key "* ]]; then
            [[ $op == == || $op == != ]] && fail "$number" "$key is only assigned, not compared with $op"
        elif [[ $either != *" $key "* ]]; then
            fail "$number" "udev knows no key $key"
        fi
        [[ $with_attribute == *" $key "* && -z $attribute && $key != IMPORT ]] &&
            fail "$number" "$key needs {attribute}"
        [[ $key == IMPORT && -z $attribute ]] && fail "$number" "IMPORT needs {builtin}, {program}, {file}..."
        [[ $parents == *" $key "* && $op == != ]] &&
            fail "$number" "$key!= matches the device itself; test $key== and GOTO past"
        [[ $key == MODE && ! $value =~ ^0?[0-7]{3}$ ]] && fail "$number" "MODE \"$value\" is not octal"
        [[ $key == LABEL ]] && labels+=("$number:$value")
        [[ $key == GOTO ]] && gotos+=("$number:$value")
    done
done <"$rules"

for goto in "${gotos[@]}"; do
    found=false
    for label in "${labels[@]}"; do
        [[ ${label#*:} == "${goto#*:}" && ${label%%:*} -gt ${goto%%:*} ]] && found=true
    done
    $found || fail "${goto%%:*}" "GOTO \"${goto#*:}\" has no LABEL after it"
done

exit $((failures > 0))
