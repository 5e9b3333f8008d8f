#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing (test.sh and
# run.sh). desktop-file-utils and appstream validate the desktop entry and the metainfo in the tests;
# dpkg-dev (dpkg-shlibdeps) and file let cpack find the libraries the package depends on, and lintian
# checks that package. The SIM records live in SQLite or on a PostgreSQL server: their C libraries, and
# a server for the tests that run against one (test.sh starts a throwaway cluster of it). zsh and fish
# run the completions of quorvel-cli for those shells in their test.
# With --clang also clang with its runtime libraries (sanitizers, libFuzzer) and clang-format, for CI's
# second build and its format check (.ci/run) and the fuzzer (tests/fuzz/run.sh); no test needs them.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-serialport-dev qt6-qpa-plugins
    libgtest-dev libgmock-dev
    desktop-file-utils appstream dpkg-dev file lintian
    libsqlite3-dev libpq-dev postgresql
    zsh fish
)
case "${1:-}" in
"") ;;
--clang) packages+=(clang libclang-rt-dev clang-format) ;;
*)
    echo "usage: $0 [--clang]" >&2
    exit 2
    ;;
esac

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
