#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

# The "test" presets (CMakePresets.json): build/test, Debug, sanitizers, warnings are errors; the test
# preset sets the sanitizers' options and the offscreen platform.
cmake --preset test >/dev/null
cmake --build --preset test -j"$(nproc)"
ctest --preset test -j"$(nproc)"
