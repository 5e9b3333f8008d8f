#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing. clang with its
# runtime libraries (sanitizers, libFuzzer) and clang-format are for CI's second build, the fuzzer and the
# format check. desktop-file-utils and appstream validate the desktop entry and the metainfo in the tests,
# lintian the Debian package.
# The SIM records live in SQLite or on a PostgreSQL server: their C libraries, and a server for the tests
# that run against one (test.sh starts a throwaway cluster of it).
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-serialport-dev qt6-qpa-plugins
    libgtest-dev libgmock-dev
    clang libclang-rt-dev clang-format
    desktop-file-utils appstream lintian
    libsqlite3-dev libpq-dev postgresql
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        sudo="sudo"
    else
        echo "error: these packages are missing and I am not root: ${missing[*]}" >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
