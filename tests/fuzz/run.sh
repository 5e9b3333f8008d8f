#!/usr/bin/env bash
# Fuzzes the XML reader (or, with "mail" as the second argument, the engine's collection of echo and
# answer) with clang's libFuzzer for the given number of seconds (default 60).
# Inputs that find new paths collect in the build folder, beside any crashing input; a crashing input
# belongs in corpus/ once its fault is fixed, so that every test run replays it.
set -euo pipefail
seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${QUORVEL_FUZZ_BUILD:-$root/build/fuzz}
"$root/scripts/install-deps.sh" --clang

# The "fuzz" preset: clang++, RelWithDebInfo, no sanitizers for the whole tree (the fuzz target has its own).
cmake -S "$root" --preset fuzz -B "$build" >/dev/null
if [ "${2:-xml}" = mail ]; then
    cmake --build "$build" --target mail_fuzzer -j2
    mkdir -p "$build/found-mail" "$build/artifacts"
    "$build/tests/mail_fuzzer" -max_total_time="$seconds" -max_len=600 -timeout=10 \
        -artifact_prefix="$build/artifacts/" "$build/found-mail" "$here/mail_corpus"
    exit 0
fi
cmake --build "$build" --target xml_fuzzer -j2

mkdir -p "$build/found" "$build/artifacts"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Inputs somewhat longer than two windows of the tokenizer reach its refills and the whole-file retry.
"$build/tests/xml_fuzzer" -max_total_time="$seconds" -max_len=10000 -timeout=10 -dict="$here/xml.dict" \
    -artifact_prefix="$build/artifacts/" "$build/found" "$here/corpus"
