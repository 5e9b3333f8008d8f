#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

# The "test" presets (CMakePresets.json): build/test, Debug with line tables only (-g1: enough for the
# sanitizers' reports, and a faster build), sanitizers, warnings are errors; the test preset sets the
# sanitizers' options and the offscreen platform.
cmake --preset test >/dev/null
cmake --build --preset test -j"$(nproc)"
# The tests of the shared SIM records run against a throwaway PostgreSQL cluster, unless QUORVEL_TEST_PG
# names a server already; without PostgreSQL's server programs they skip.
if [ -z "${QUORVEL_TEST_PG:-}" ]; then
    pg_dir=$(mktemp -d /tmp/quorvel-pg.XXXXXX)
    trap '"$PWD/scripts/pg-test-cluster.sh" stop "$pg_dir"' EXIT
    pg_address=$(./scripts/pg-test-cluster.sh start "$pg_dir")
    if [ -n "$pg_address" ]; then
        export QUORVEL_TEST_PG="$pg_address"
    fi
fi
# The tests mostly wait (for handsets paced at 115200 baud, for timers), so two run beside each other on
# every core.
ctest --preset test -j"$(($(nproc) * 2))"
