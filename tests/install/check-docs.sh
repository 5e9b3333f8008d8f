#!/usr/bin/env bash
# The docs name only what is there: every file path and every class name in backquotes in README.md and
# docs/*.md must exist in the sources. A path with a placeholder (<Tab>, NAME, …, *) is not checked.
set -uo pipefail

root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root" || exit 2
failed=0

fail() {
    echo "FAIL: $1" >&2
    failed=1
}

sources="Application VirtualHandset tools tests bench"
for doc in README.md docs/*.md; do
    while IFS= read -r token; do
        case $token in
        *'<'* | *'…'* | *'*'* | *' '* | *'$'* | *'{'* | *NAME* | *FILE* | *DIR*) continue ;;
        esac
        if [[ $token =~ ^(Application|VirtualHandset|tests|tools|dist|bench|docs|scripts|cmake)/ ]]; then
            # A program the build makes is named by its folder and target (bench/link_bench).
            [ -e "${token%/}" ] || [ -e "$token.cpp" ] ||
                grep -qs "add_executable($(basename "$token")\b" "$(dirname "$token")/CMakeLists.txt" ||
                fail "$doc names $token, which is not there"
        elif [[ $token =~ ^(platform|link|lists|xml|vsim|profile|core|windows|cli)/[A-Za-z]+(\.(h|cpp))?/?$ ]]; then
            [ -e "Application/${token%/}" ] || [ -e "Application/$token.h" ] || [ -e "Application/$token.cpp" ] ||
                fail "$doc names $token, which is not in Application/"
        elif [[ $token =~ ^T[A-Z][A-Za-z0-9]+$ ]]; then
            # shellcheck disable=SC2086
            grep -rqE "(class|struct|enum class|using) $token\b" $sources ||
                fail "$doc names the class $token, which no source declares"
        fi
    done < <(grep -o '`[^`]*`' "$doc" | tr -d '`' | sed 's/[(:].*$//' | sort -u)
done
exit $failed
